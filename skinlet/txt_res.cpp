#include "txt_res.h"

#include "markup.h"
#include "skin_paths.h"

CTxtRes::CTxtRes() { LoadLangConfig(u"language.xml"); }

CTxtRes::~CTxtRes() { ReleaseModule(); }

void CTxtRes::LoadLangConfig(const WCHAR* file) {
  if (!file) return;
  std::u16string path;
  if (!skinlet::modulePath(file, path)) return;
  CMarkup xml;
  // Without a language list every screen is without text: say why, once per load.
  if (!xml.Load(path.c_str())) {
    NKDbgPrintfW(u"CTxtRes: %s lists no language: %s\n", path.c_str(), skinlet::whyNotLoaded(path).c_str());
    return;
  }
  if (!xml.FindElem(u"LANGUAGES")) {
    NKDbgPrintfW(u"CTxtRes: %s lists no language: no LANGUAGES element\n", path.c_str());
    return;
  }
  xml.IntoElem();
  while (xml.FindElem(u"LANGUAGE")) {
    Language entry{};
    entry.LangId = static_cast<uint16_t>(_wtol(xml.GetAttrib(u"LANGID").c_str()));
    skinlet::copyCut(entry.ModulePath, SL_TEXT_LEN, xml.GetData());
    m_Languages.push_back(entry);
  }
  if (m_Languages.empty()) NKDbgPrintfW(u"CTxtRes: %s lists no language: no LANGUAGE entries\n", path.c_str());
}

void CTxtRes::ReleaseModule() {
  if (m_hLangModule) {
    FreeLibrary(m_hLangModule);
    m_hLangModule = nullptr;
  }
}

void CTxtRes::LoadModule(const Language& language) {
  ReleaseModule();
  // Data only: a language module's code, if any, never runs.
  m_hLangModule = LoadLibraryExW(language.ModulePath, nullptr, DONT_RESOLVE_DLL_REFERENCES);
}

unsigned short CTxtRes::SelectLanguage(int offset) {
  LANGID system = GetUserDefaultUILanguage();
  int count = static_cast<int>(m_Languages.size());
  int found = -1;
  for (int i = 0; i < count; ++i) {
    if (m_Languages[static_cast<size_t>(i)].LangId == system) {
      found = i;
      break;
    }
  }
  if (found < 0) return 65535;
  // Any offset that leaves the list lands on the last or the first entry; no further wrap.
  long long index = static_cast<long long>(found) + offset;
  if (index < 0) index = count - 1;
  if (index >= count) index = 0;
  const Language& chosen = m_Languages[static_cast<size_t>(index)];
  LoadModule(chosen);
  return chosen.LangId;
}

int CTxtRes::SetLanguage(int langId) {
  for (const Language& language : m_Languages) {
    if (language.LangId == langId) {
      LoadModule(language);
      return 1;
    }
  }
  return 0;
}

WCHAR* CTxtRes::GetResItem(unsigned short id, WCHAR* buffer) {
  if (!m_hLangModule) return nullptr;
  if (buffer) {
    LoadStringW(m_hLangModule, id, buffer, MAX_PATH);
    return buffer;
  }
  LoadStringW(m_hLangModule, id, m_Buffer, SL_TEXT_LEN);
  return m_Buffer;
}

HINSTANCE CTxtRes::ChangeLanguageRes() {
  if (m_Languages.empty()) return m_hLangModule;
  LANGID system = GetUserDefaultUILanguage();
  for (const Language& language : m_Languages) {
    if (language.LangId == system) {
      LoadModule(language);
      return m_hLangModule;
    }
  }
  ReleaseModule();
  return nullptr;
}
