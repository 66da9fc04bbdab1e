#include "skin/notices.h"

// Made with tools/scramble from UTF-8 texts:
//   kNoticeEmptyList    列表中还没有相册，请先输入用户号码获取相册列表。
//   kNoticeRunFinished  下载结束：%d 个相册已完成，%d 个未完成。
//   kNoticeReloadFailed 登录后仍无法读取相册列表，请稍后再试。
//   kNoticeUnreachable  无法连接相册服务器，请检查网络后重试。

const wchar_t kNoticeEmptyList[] =
    L"0457C71280C395BA61C39AF69431B8BF12DBAFD88781673BB1169B9638C56A6B50CD76FAAC1B90230E25F4DEB"
    L"DCF2A8E4A062FDACDC5B913B1C5F7090DA293CCF69F34A230509004";
const wchar_t kNoticeRunFinished[] =
    L"0554F461D783445B421D26FE31F85AC14B244CC5236481CB8C78F0B1895189DD3A6286A8431AF776C137FE4D9DF9"
    L"CDD1DFBB31AE7F277D1196";
const wchar_t kNoticeReloadFailed[] =
    L"065FF65C292568EA6ECE70D37AFE366C98316E196A9EED2EB845CE4EF92ECEBA56D92257E5E25C85A2DB9501"
    L"7D65354864DFBF73C769C29FAB";

const wchar_t kNoticeUnreachable[] =
    L"07455BE1DAA83D4D8268F4C5D0C82D012894544C594767D090618337E66B2FF2020DDCD656C3E48328759E552F"
    L"D095FD9C1559A1B1DAD9C876";

std::wstring FormatCounts(std::wstring text, int first, int second) {
  for (const int value : {first, second}) {
    const size_t at = text.find(L"%d");
    if (at == std::wstring::npos) {
      break;
    }
    text.replace(at, 2, std::to_wstring(value));
  }
  return text;
}
