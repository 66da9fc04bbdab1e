#include "catalogue/app_state.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class AppStateTest : public ::testing::Test {
 protected:
  void TearDown() override { AppState::Destroy(); }

  static void Add(int32_t index, const std::string& name, uint8_t password) {
    auto record = std::make_unique<AlbumRecord>();
    record->m_index = index;
    record->m_albumId = "id" + std::to_string(index);
    record->m_name = name;
    record->m_photoCount = 1;
    record->m_hasPassword = password;
    AppState::Instance()->m_albums.push_back(std::move(record));
  }
};

TEST_F(AppStateTest, OneObjectWithInitialValuesUntilDestroyed) {
  AppState* state = AppState::Instance();
  EXPECT_EQ(state, AppState::Instance());
  EXPECT_EQ(state->m_marker, 122);
  EXPECT_TRUE(state->m_albums.empty());
  EXPECT_EQ(state->m_loginOutcome, 0);
  EXPECT_EQ(state->m_currentAlbum, 0);
  EXPECT_EQ(state->m_uin, 0);
  EXPECT_TRUE(state->m_photoHostLabel.empty());

  state->m_uin = 123456;
  Add(0, "a", 0);
  AppState::Destroy();
  AppState::Destroy();  // a second call finds nothing to do
  AppState* fresh = AppState::Instance();
  EXPECT_EQ(fresh->m_uin, 0);
  EXPECT_TRUE(fresh->m_albums.empty());
}

TEST_F(AppStateTest, LookupsByIndexAnswerForMissingIndexes) {
  Add(0, "first", 0);
  Add(1, "second", 1);
  Add(1, "duplicate", 0);  // the first record with an index wins
  AppState* state = AppState::Instance();
  EXPECT_EQ(state->AlbumName(1), "second");
  EXPECT_TRUE(state->AlbumHasPassword(1));
  EXPECT_FALSE(state->AlbumHasPassword(0));
  EXPECT_EQ(state->AlbumName(7), "");
  EXPECT_EQ(state->AlbumName(-1), "");
  EXPECT_FALSE(state->AlbumHasPassword(7));
}

TEST_F(AppStateTest, ClearAlbumsKeepsEverythingElse) {
  AppState* state = AppState::Instance();
  state->m_uin = 10001;
  state->m_currentAlbum = 3;
  state->m_loginOutcome = 2;
  state->m_photoHostLabel = L"b2";
  Add(0, "a", 0);
  state->ClearAlbums();
  EXPECT_TRUE(state->m_albums.empty());
  EXPECT_EQ(state->m_uin, 10001);
  EXPECT_EQ(state->m_currentAlbum, 3);
  EXPECT_EQ(state->m_loginOutcome, 2);
  EXPECT_EQ(state->m_photoHostLabel, L"b2");
}

TEST_F(AppStateTest, CopyHoldsTheSameRecordsInOrder) {
  Add(0, "a", 0);
  Add(1, "b", 0);
  AppState* state = AppState::Instance();
  std::vector<AlbumRecord*> copy = state->CopyAlbums();
  ASSERT_EQ(copy.size(), 2u);
  EXPECT_EQ(copy[0], state->m_albums[0].get());
  EXPECT_EQ(copy[1], state->m_albums[1].get());
}

}  // namespace
