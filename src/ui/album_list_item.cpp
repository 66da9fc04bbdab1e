#include "ui/album_list_item.h"

#include "platform/code_page.h"
#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

std::wstring CAlbumListItemUI::GetClass() const {
  return L"AlbumListItemUI";
}

void CAlbumListItemUI::DrawItemText(cairo_t* cr, const RECT& rcItem) {
  IListOwnerUI* owner = GetOwner();
  if (owner == nullptr) {
    return;
  }
  const TListInfoUI* info = owner->GetListInfo();
  if (info->dwLineColor == 0) {
    return;
  }
  for (int i = 0; i + 1 < info->nColumns; ++i) {
    const int x = info->rcColumn[static_cast<size_t>(i)].right - 1;
    CRenderEngine::DrawLine(cr, {x, rcItem.top, x, rcItem.bottom}, 1,
                            GetAdjustColor(info->dwLineColor));
  }
}

CControlUI* CDialogBuilderCallbackEx::CreateControl(const wchar_t* className) {
  if (std::wstring(className) == L"AlbumListItem") {
    return new CAlbumListItemUI;
  }
  return nullptr;
}

CAlbumListItemUI* CreateAlbumRow(CPaintManagerUI* manager) {
  CDialogBuilder builder;
  CDialogBuilderCallbackEx callback;
  CControlUI* root = builder.Create(L"AlbumListItem.xml", nullptr, &callback, manager, nullptr);
  auto* row = dynamic_cast<CAlbumListItemUI*>(root);
  if (row == nullptr) {
    delete root;
  }
  return row;
}

void FindRowControls(CAlbumListItemUI* row) {
  CPaintManagerUI* manager = row->GetManager();
  if (manager == nullptr) {
    return;
  }
  row->m_optSelect =
      dynamic_cast<COptionUI*>(manager->FindSubControlByName(row, L"album_opt_select"));
  row->m_lblIndex = manager->FindSubControlByName(row, L"album_lbl_index");
  row->m_lblName = manager->FindSubControlByName(row, L"album_lbl_name");
  row->m_lblType = manager->FindSubControlByName(row, L"album_lbl_type");
  row->m_lblCount = manager->FindSubControlByName(row, L"album_lbl_count");
  row->m_lblStatus = manager->FindSubControlByName(row, L"album_lbl_status");
  row->m_lblRemark = manager->FindSubControlByName(row, L"album_lbl_remark");
}

void SetRowName(CAlbumListItemUI* row, const std::string& name) {
  const std::string text = name.substr(0, name.find('\0'));
  if (text.size() > kRowNameMaxBytes) {
    return;
  }
  if (row->m_lblName != nullptr) {
    row->m_lblName->SetText(AnsiToWide(text));
  }
}

std::wstring GetRowName(CAlbumListItemUI* row) {
  return row->m_lblName != nullptr ? row->m_lblName->GetText() : std::wstring();
}
