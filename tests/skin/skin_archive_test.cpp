#include "skin/skin_archive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "skin_encoder.h"

namespace {

std::string FileWith(const int32_t (&weights)[kSkinSymbols], int32_t decodedLength,
                     const std::string& bitstream) {
  std::string file = EncodeSkinFileWithWeights("", weights, decodedLength);
  return file + bitstream;
}

std::vector<uint8_t> Decode(const std::string& file, SkinDecoder decoder) {
  int32_t length = 0;
  auto out = DecodeSkinArchive(file, &length, decoder);
  EXPECT_TRUE(out.has_value());
  return out.value_or(std::vector<uint8_t>{});
}

// Both decoders must give the same bytes; returns them.
std::vector<uint8_t> DecodeBoth(const std::string& file) {
  const std::vector<uint8_t> walk = Decode(file, SkinDecoder::kTreeWalk);
  const std::vector<uint8_t> table = Decode(file, SkinDecoder::kTable);
  EXPECT_EQ(walk, table);
  return table;
}

TEST(SkinArchiveTest, EqualWeightsReverseTheBitsOfEveryByte) {
  const int32_t weights[kSkinSymbols] = {};
  const std::vector<uint8_t> out =
      DecodeBoth(FileWith(weights, 5, std::string("\x80\x01\x12\x00\xFF", 5)));
  EXPECT_EQ(out, (std::vector<uint8_t>{0x01, 0x80, 0x48, 0x00, 0xFF}));
}

TEST(SkinArchiveTest, LoneWeightedSymbolHasTheOneBitCodeOne) {
  int32_t weights[kSkinSymbols] = {};
  weights[65] = 100;
  const std::vector<uint8_t> out = DecodeBoth(FileWith(weights, 16, "\xFF\xFF"));
  EXPECT_EQ(out, std::vector<uint8_t>(16, 65));
}

TEST(SkinArchiveTest, SurplusSymbolsAreDroppedAndMissingOnesStayZero) {
  const int32_t weights[kSkinSymbols] = {};
  EXPECT_EQ(DecodeBoth(FileWith(weights, 2, "\x80\x01\x12")), (std::vector<uint8_t>{0x01, 0x80}));
  EXPECT_EQ(DecodeBoth(FileWith(weights, 4, "\x80\x01")),
            (std::vector<uint8_t>{0x01, 0x80, 0x00, 0x00}));
  // A file of exactly the header and weights decodes to zeros.
  EXPECT_EQ(DecodeBoth(FileWith(weights, 3, "")), std::vector<uint8_t>(3, 0));
}

TEST(SkinArchiveTest, NegativeWeightsArePickedFirst) {
  // Symbol 7 weighs 0x80000000 (negative): it is picked before all the zeros, merged with
  // symbol 0, and sits deep in the tree; symbol 9 alone weighs 5 and gets the code 1.
  int32_t weights[kSkinSymbols] = {};
  weights[7] = static_cast<int32_t>(0x80000000u);
  weights[9] = 5;
  const SkinTree tree = BuildSkinTree(weights);
  const SkinTreeNode* first = tree.Nodes() + kSkinSymbols;  // the first inner node
  EXPECT_EQ(first->left->symbol, 7);
  EXPECT_EQ(first->right->symbol, 0);
  EXPECT_EQ(first->weight, static_cast<int32_t>(0x80000000u));
  EXPECT_EQ(tree.Root()->right->symbol, 9);
  EXPECT_EQ(DecodeBoth(FileWith(weights, 8, "\xFF")), std::vector<uint8_t>(8, 9));
}

TEST(SkinArchiveTest, HeaderBytesOtherThanLengthAndWeightsDoNotMatter) {
  const std::string archive = "PK\x03\x04 some archive bytes";
  std::string file = EncodeSkinFile(archive);
  const std::vector<uint8_t> expected(archive.begin(), archive.end());
  EXPECT_EQ(DecodeBoth(file), expected);
  file[0] = 'x';
  file[1] = 0;
  file[2] = 'y';
  file[3] = 'z';
  EXPECT_EQ(DecodeBoth(file), expected);
}

TEST(SkinArchiveTest, FilesTheFormatLeavesOpenAreRefused) {
  const int32_t weights[kSkinSymbols] = {};
  int32_t length = 77;
  const std::string full = FileWith(weights, 4, "abcd");
  EXPECT_FALSE(DecodeSkinArchive(full.substr(0, kSkinBitstreamOffset - 1), &length));
  EXPECT_FALSE(DecodeSkinArchive("", &length));
  EXPECT_FALSE(DecodeSkinArchive(FileWith(weights, 0, "abcd"), &length));
  EXPECT_EQ(length, 0);
  EXPECT_FALSE(DecodeSkinArchive(FileWith(weights, -5, "abcd"), &length));
  EXPECT_EQ(length, -5);
  EXPECT_FALSE(DecodeSkinArchive(FileWith(weights, kSkinMaxDecodedBytes + 1, "abcd"), &length));
  // A 1 KB file may not declare 256 MiB, nor more than 1024 times its own size.
  const std::string small = FileWith(weights, 256 << 20, "abcd");
  EXPECT_FALSE(DecodeSkinArchive(small, &length));
  EXPECT_FALSE(
      DecodeSkinArchive(FileWith(weights, 1024 * (kSkinBitstreamOffset + 4) + 1, "abcd"), &length));
  EXPECT_TRUE(
      DecodeSkinArchive(FileWith(weights, 1024 * (kSkinBitstreamOffset + 4), "abcd"), &length));
  EXPECT_TRUE(DecodeSkinArchive(full, &length));
  EXPECT_EQ(length, 4);
}

// The table decoder against the tree walk on random weight tables, from flat to very skewed
// (zero and negative weights give codes far longer than a table step), and random streams.
TEST(SkinArchiveTest, TableDecoderMatchesTreeWalkOnRandomFiles) {
  std::mt19937 random(2024);
  for (int round = 0; round < 1200; ++round) {
    int32_t weights[kSkinSymbols];
    const int style = round % 4;
    for (int32_t& weight : weights) {
      switch (style) {
        case 0:
          weight = static_cast<int32_t>(random());  // any sign, sums wrap
          break;
        case 1:
          weight = random() % 3 == 0 ? 0 : static_cast<int32_t>(random() % 1000);
          break;
        case 2:
          weight = random() % 50 == 0 ? static_cast<int32_t>(random() % 100000) : 0;
          break;
        default:
          weight = static_cast<int32_t>(1u << (random() % 31)) * (random() % 2 == 0 ? 1 : -1);
      }
    }
    // Short streams put long codes next to the end of the stream, where the decoder changes gear.
    std::string stream(round % 4 == 0 ? random() % 3000 : random() % 40, '\0');
    for (char& c : stream) {
      c = static_cast<char>(random() % 8 == 0 ? 0 : random());
    }
    const int32_t length = 1 + static_cast<int32_t>(random() % 6000);
    DecodeBoth(FileWith(weights, length, stream));
  }
}

TEST(SkinArchiveTest, EncodedArchivesDecodeToThemselves) {
  std::mt19937 random(99);
  for (int round = 0; round < 20; ++round) {
    std::string archive(1 + random() % 100000, '\0');
    for (char& c : archive) {
      c = static_cast<char>(round % 2 == 0 ? random() : random() % 7);
    }
    const std::vector<uint8_t> out = DecodeBoth(EncodeSkinFile(archive));
    EXPECT_EQ(std::string(out.begin(), out.end()), archive);
  }
}

}  // namespace

namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(ZP_TEST_DATA) + "/skin/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file written by an encoder of its own (tests/data/skin/make_independent.py), with ties,
// zero, negative and extreme weights.
TEST(SkinArchiveTest, DecodesAFileOfAnIndependentEncoder) {
  const std::string file = ReadData("independent.skin");
  const std::string archive = ReadData("independent.bin");
  ASSERT_FALSE(file.empty());
  const std::vector<uint8_t> out = DecodeBoth(file);
  EXPECT_EQ(std::string(out.begin(), out.end()), archive);
  // Our encoder, given the same weights, writes the same bitstream.
  int32_t weights[kSkinSymbols];
  SkinWeights(file, weights);
  EXPECT_EQ(EncodeSkinFileWithWeights(archive, weights, SkinDecodedLength(file)).substr(4),
            file.substr(4));
}

}  // namespace
