// CTxtRes: the language table. Reads the list of languages from "language.xml" in the
// program's directory, keeps one language module loaded and looks texts up by id.
#pragma once

#include <cstdint>
#include <vector>

#include "skin_types.h"

class CTxtRes {
 public:
  struct Language {
    uint16_t LangId;
    WCHAR ModulePath[SL_TEXT_LEN];
  };

  CTxtRes();
  ~CTxtRes();
  CTxtRes(const CTxtRes&) = delete;
  CTxtRes& operator=(const CTxtRes&) = delete;

  // Appends one entry per "LANGUAGE" of the document at the module path of `file`.
  void LoadLangConfig(const WCHAR* file);
  // Loads the language `offset` places after the system's UI language; its id, or 65535.
  unsigned short SelectLanguage(int offset);
  // Loads the first language with id `langId`; 1, or 0 when the list has none.
  int SetLanguage(int langId);
  // Text `id` of the loaded module in `buffer` (260 characters) or in the table's own buffer.
  WCHAR* GetResItem(unsigned short id, WCHAR* buffer);
  // Loads the module of the system's UI language; its handle.
  HINSTANCE ChangeLanguageRes();

  const std::vector<Language>& Languages() const { return m_Languages; }
  HINSTANCE Module() const { return m_hLangModule; }

 private:
  void LoadModule(const Language& language);
  void ReleaseModule();

  std::vector<Language> m_Languages;
  HINSTANCE m_hLangModule = nullptr;
  WCHAR m_Buffer[SL_TEXT_LEN] = {};
};
