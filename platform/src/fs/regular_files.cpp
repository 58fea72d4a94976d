// Opening host files for the file calls without ever blocking on something that is not a file.
// A named pipe blocks its reader until a writer comes, a socket or a device reads without end
// (/dev/zero through a link): the unit's files come from cards and skin authors, so every place
// that reads an outside file opens it here and is refused anything but a regular file, with a
// console line naming it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fs/fs_internal.h"
#include "plat_core.h"
#include "plat_file.h"

namespace plat {

namespace {

thread_local std::string t_lastFailure;

}  // namespace

std::string lastFileFailure() { return t_lastFailure; }

namespace fs {

void setFileFailure(std::string reason) { t_lastFailure = std::move(reason); }

std::string specialKindOf(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return {};
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISFIFO(st.st_mode)) return "a named pipe (FIFO)";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISCHR(st.st_mode)) return "a character device";
  if (S_ISBLK(st.st_mode)) return "a block device";
  if (S_ISLNK(st.st_mode)) return "a link";
  return "not a plain file";
}

std::string reasonOf(int error) {
  std::string text = std::strerror(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

std::string describeUnusable(const std::string& hostPath, int error) {
  struct stat st;
  if (error == ELOOP) return "a link loop";
  if (error == ENOENT && ::lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return "a link to nothing";
  return reasonOf(error);
}

int openRegularFile(const std::string& hostPath, int flags, mode_t mode, const char* caller) {
  // Looked at before it is opened, so that a device is never opened at all; looked at again
  // once open, in case another file took its place meanwhile.
  auto refuse = [&](const std::string& kind) {
    if (caller)
      console::writeUtf8(std::string(caller) + ": " + hostPath + " is " + kind + ", not a file: not opened\n");
    setFileFailure("is " + kind + ", not a file");
    errno = EINVAL;
    return -1;
  };
  struct stat st;
  if (::stat(hostPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    return refuse(specialKindOf(st));
  int fd = ::open(hostPath.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  if (fd < 0) {
    int error = errno;
    setFileFailure(describeUnusable(hostPath, error));
    errno = error;
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::string kind = specialKindOf(st);
    ::close(fd);
    if (S_ISDIR(st.st_mode)) {
      setFileFailure("is a folder, not a file");
      errno = EISDIR;
      return -1;
    }
    return refuse(kind);
  }
  // Reads and writes of a regular file wait as they always do.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  setFileFailure({});
  return fd;
}

}  // namespace fs

}  // namespace plat
