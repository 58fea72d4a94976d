#include "services/program_allow_list.h"

#include <array>
#include <cstdint>
#include <cstring>

CProgramAllowList* g_pProgramAllowList = nullptr;

namespace {

// SHA-256 (FIPS 180-4), fed in pieces.
class Sha256 {
 public:
  void add(const uint8_t* data, size_t size) {
    m_length += size;
    while (size > 0) {
      const size_t take = std::min(size, sizeof m_block - m_used);
      std::memcpy(m_block + m_used, data, take);
      m_used += take;
      data += take;
      size -= take;
      if (m_used == sizeof m_block) {
        compress(m_block);
        m_used = 0;
      }
    }
  }
  std::string hex() {
    const uint64_t bits = m_length * 8;
    const uint8_t one = 0x80, zero = 0;
    add(&one, 1);
    while (m_used != 56) add(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    add(length, 8);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint32_t word : m_state)
      for (int shift = 28; shift >= 0; shift -= 4) out += digits[(word >> shift) & 15];
    return out;
  }

 private:
  static uint32_t rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void compress(const uint8_t* block) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) | (uint32_t{block[4 * i + 2]} << 8) |
             block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<uint32_t, 8> v = m_state;
    for (int i = 0; i < 64; ++i) {
      const uint32_t s1 = rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25);
      const uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const uint32_t t1 = v[7] + s1 + choose + k[i] + w[i];
      const uint32_t s0 = rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22);
      const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      v = {t1 + s0 + majority, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (int i = 0; i < 8; ++i) m_state[i] += v[i];
  }

  std::array<uint32_t, 8> m_state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  uint8_t m_block[64] = {};
  size_t m_used = 0;
  uint64_t m_length = 0;
};

bool isHexDigest(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

}  // namespace

std::u16string CProgramAllowList::keyOf(std::u16string_view devicePath) {
  // Device names are matched as the card's FAT volume matches them: without regard to case,
  // either separator.
  std::u16string key;
  for (char16_t c : devicePath) key += c == u'/' ? u'\\' : (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  return key;
}

bool CProgramAllowList::Load(const std::string& hostFile) {
  m_active = true;
  m_file = hostFile;
  m_digests.clear();
  std::string text;
  if (!plat::readHostFile(hostFile, text)) {
    m_readable = false;
    NKDbgPrintfW(u"[Vexa APP] allowed programs: %S cannot be read (%S): no program may start\n", hostFile.c_str(),
                 plat::lastFileFailure().c_str());
    return false;
  }
  m_readable = true;
  int number = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    // sha256sum escapes a name holding a backslash: the line starts with one, and the name's
    // backslashes are doubled.
    const bool escaped = line[0] == '\\';
    std::string_view rest(line);
    if (escaped) rest.remove_prefix(1);
    const std::string digest(rest.substr(0, std::min<size_t>(64, rest.size())));
    size_t name = rest.find_first_not_of(" \t", 64);
    if (name != std::string_view::npos && rest[name] == '*') ++name;  // binary mode mark
    if (!isHexDigest(digest) || rest.size() <= 64 || (rest[64] != ' ' && rest[64] != '\t') ||
        name == std::string_view::npos) {
      NKDbgPrintfW(u"[Vexa APP] allowed programs: %S line %d is not a digest and a program: left out\n",
                   hostFile.c_str(), number);
      continue;
    }
    std::string path(rest.substr(name));
    if (escaped) {
      std::string plain;
      for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\' && i + 1 < path.size()) {
          ++i;
          plain += path[i] == 'n' ? '\n' : path[i];
        } else {
          plain += path[i];
        }
      }
      path = plain;
    }
    std::string lower;
    for (char c : digest) lower += static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c);
    m_digests[keyOf(plat::utf8ToUtf16(path))].push_back(lower);
  }
  NKDbgPrintfW(u"[Vexa APP] allowed programs: %d listed in %S\n", static_cast<int>(m_digests.size()), hostFile.c_str());
  return true;
}

std::string CProgramAllowList::DigestOf(const WCHAR* devicePath, std::string& why) {
  HANDLE file = CreateFileW(devicePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = "cannot be read: " + plat::lastFileFailure();
    return {};
  }
  Sha256 sha;
  static thread_local uint8_t piece[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, piece, sizeof piece, &got, nullptr)) {
      CloseHandle(file);
      why = "cannot be read (error " + std::to_string(GetLastError()) + ")";
      return {};
    }
    if (got == 0) break;
    sha.add(piece, got);
  }
  CloseHandle(file);
  return sha.hex();
}

bool CProgramAllowList::Allows(const WCHAR* devicePath, std::string& why) const {
  if (!m_active) return true;
  if (!m_readable) {
    why = "the list " + m_file + " cannot be read";
    return false;
  }
  auto it = devicePath ? m_digests.find(keyOf(devicePath)) : m_digests.end();
  if (it == m_digests.end()) {
    why = "not on the list " + m_file;
    return false;
  }
  const std::string digest = DigestOf(devicePath, why);
  if (digest.empty()) return false;
  for (const std::string& listed : it->second)
    if (listed == digest) return true;
  why = "its digest " + digest + " differs from the list's";
  return false;
}

bool CProgramAllowList::AllowsCached(const WCHAR* devicePath) {
  if (!m_active) return true;
  WIN32_FIND_DATAW data;
  HANDLE find = devicePath ? FindFirstFileW(devicePath, &data) : INVALID_HANDLE_VALUE;
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  const ULONGLONG size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  const ULONGLONG time = (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  const std::u16string key = keyOf(devicePath);
  {
    std::lock_guard<std::mutex> guard(m_cacheLock);
    auto it = m_cache.find(key);
    if (it != m_cache.end() && it->second.size == size && it->second.time == time) return it->second.allowed;
  }
  std::string why;
  const bool allowed = Allows(devicePath, why);
  std::lock_guard<std::mutex> guard(m_cacheLock);
  m_cache[key] = Checked{size, time, allowed};
  return allowed;
}
