// CreateFileW and the calls on open files and on paths. Files are host files under the unit
// root; "COM9:"-style names are devices handed to the serial and driver areas.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "core/kernel_object.h"
#include "fs/fs_internal.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_strings.h"

namespace plat::fs {

namespace {

class FileObject : public KernelObject {
 public:
  FileObject(int fd, bool canRead, bool canWrite) : fd_(fd), canRead_(canRead), canWrite_(canWrite) {}
  ~FileObject() override { ::close(fd_); }
  const char* kind() const override { return "file"; }

  bool read(void* buffer, DWORD size, DWORD* done) override {
    if (done) *done = 0;
    if (!canRead_) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    DWORD total = 0;
    while (total < size) {
      ssize_t n = ::read(fd_, static_cast<char*>(buffer) + total, size - total);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        if (done) *done = total;
        SetLastError(errorFromErrno(errno, true));
        return false;
      }
      if (n == 0) break;  // end of file: success with what was read
      total += static_cast<DWORD>(n);
    }
    if (done) *done = total;
    return true;
  }

  bool write(const void* buffer, DWORD size, DWORD* done) override {
    if (done) *done = 0;
    if (!canWrite_) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    DWORD total = 0;
    while (total < size) {
      ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + total, size - total);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (done) *done = total;
        SetLastError(n < 0 ? errorFromErrno(errno, true) : ERROR_DISK_FULL);
        return false;
      }
      total += static_cast<DWORD>(n);
    }
    if (done) *done = total;
    return true;
  }

  int fd() const { return fd_; }
  bool canWrite() const { return canWrite_; }
  std::mutex& lock() { return lock_; }

 private:
  int fd_;
  bool canRead_;
  bool canWrite_;
  std::mutex lock_;
};

// Names such as "COM9:", "VEC0:", "BAK1:": letters, then digits, then a colon.
bool isDeviceName(LPCWSTR name) {
  size_t i = 0;
  size_t letters = 0, digits = 0;
  for (; (name[i] >= u'A' && name[i] <= u'Z') || (name[i] >= u'a' && name[i] <= u'z'); ++i) ++letters;
  for (; name[i] >= u'0' && name[i] <= u'9'; ++i) ++digits;
  return letters > 0 && digits > 0 && name[i] == u':' && name[i + 1] == 0;
}

HANDLE openDevice(LPCWSTR name, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  std::u16string device(name);
  HANDLE handle = openSerialDevice(device, access, share, creation, flags);
  if (handle && handle != INVALID_HANDLE_VALUE) return handle;
  DWORD serialError = GetLastError();
  handle = openDriverDevice(device, access, share, creation, flags);
  if (handle && handle != INVALID_HANDLE_VALUE) return handle;
  // A missing serial port reports the serial area's reason.
  if ((device[0] == u'C' || device[0] == u'c') && (device[1] == u'O' || device[1] == u'o') &&
      (device[2] == u'M' || device[2] == u'm'))
    SetLastError(serialError);
  return INVALID_HANDLE_VALUE;
}

bool statPath(const MappedPath& path, struct stat& st) { return ::stat(path.host.c_str(), &st) == 0; }

bool fail(DWORD error) {
  SetLastError(error);
  return false;
}

std::shared_ptr<FileObject> fileOf(HANDLE handle) {
  auto file = lookupAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

// Copies the bytes of one host file into a temporary file beside `target` and renames it
// over the target: a power cut leaves the old target or the whole copy.
DWORD copyHostFile(const std::string& source, const std::string& target) {
  int in = openRegularFile(source, O_RDONLY, 0, "CopyFileW");
  if (in < 0) return errno == EINVAL ? ERROR_ACCESS_DENIED : errorFromErrno(errno, true);
  struct stat st;
  ::fstat(in, &st);
  std::string temp = target + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX";
  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back(0);
  int out = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (out < 0) {
    DWORD error = errorFromErrno(errno, true);
    ::close(in);
    return error;
  }
  DWORD error = ERROR_SUCCESS;
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errorFromErrno(errno, true);
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, chunk + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error = w < 0 ? errorFromErrno(errno, true) : ERROR_DISK_FULL;
        break;
      }
      done += w;
    }
    if (error != ERROR_SUCCESS) break;
  }
  ::close(in);
  // The copy carries the source's attributes (read-only included), as on the device; never
  // group or world write, nor set-id bits.
  ::fchmod(out, st.st_mode & 0755);
  if (error == ERROR_SUCCESS && ::fsync(out) != 0) error = errorFromErrno(errno, true);
  if (::close(out) != 0 && error == ERROR_SUCCESS) error = errorFromErrno(errno, true);
  if (error == ERROR_SUCCESS && ::rename(pattern.data(), target.c_str()) != 0) error = errorFromErrno(errno, true);
  if (error != ERROR_SUCCESS) {
    ::unlink(pattern.data());
    return error;
  }
  // Until the folder itself is synced, a power cut can still bring back the old entry.
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return error;
}

}  // namespace

}  // namespace plat::fs

using namespace plat::fs;

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (isDeviceName(name)) return openDevice(name, access, share, creation, flags);
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(name, path, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (hasInvalidNameCharacters(path.lastName)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  if (!path.parentExists) {
    setFileFailure("no such folder");
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  bool existed = statPath(path, st);
  int statError = existed ? 0 : errno;
  if (path.isRoot || path.trailingSeparator || (existed && S_ISDIR(st.st_mode))) {
    // Folders are not opened as files on the device.
    setFileFailure(existed ? "is a folder, not a file" : describeUnusable(path.host, statError));
    SetLastError(path.trailingSeparator && !existed ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  struct stat link;
  if (!existed && statError == ENOENT && creation != OPEN_EXISTING && creation != TRUNCATE_EXISTING &&
      ::lstat(path.host.c_str(), &link) == 0) {
    // Creating through a link that leads nowhere would make a file wherever it points.
    plat::console::writeUtf8("CreateFileW: " + path.host + " is a link to nothing, not a file: not opened\n");
    setFileFailure("is a link to nothing, not a file");
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool canRead = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
  bool canWrite = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  int openFlags = O_CLOEXEC;
  switch (creation) {
    case CREATE_NEW:
      if (existed) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      openFlags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS: openFlags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING:
      if (!existed) {
        setFileFailure(describeUnusable(path.host, statError));
        SetLastError(statError == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      break;
    case OPEN_ALWAYS: openFlags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!canWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      if (!existed) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      openFlags |= O_TRUNC;
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  // The read-only attribute holds even for a privileged host user.
  bool writes = canWrite || (openFlags & O_TRUNC);
  if (existed && writes && !(st.st_mode & S_IWUSR)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (canRead && canWrite) openFlags |= O_RDWR;
  else if (canWrite) openFlags |= O_WRONLY;
  else openFlags |= O_RDONLY;
  if ((openFlags & O_TRUNC) && !canWrite) openFlags = (openFlags & ~O_RDONLY) | O_RDWR;
  int fd = openRegularFile(path.host, openFlags, 0644, "CreateFileW");
  if (fd < 0) {
    // Something that is not a file (a named pipe, a device) is denied like a folder.
    SetLastError(errno == EINVAL ? ERROR_ACCESS_DENIED : errorFromErrno(errno, path.parentExists));
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = plat::makeHandle(std::make_shared<FileObject>(fd, canRead, canWrite));
  bool reportsExisting = existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS);
  SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  auto object = plat::lookupHandle(file);
  if (!object) return FALSE;
  if (!buffer && toRead) return fail(ERROR_INVALID_PARAMETER);
  DWORD done = 0;
  bool ok = object->read(buffer, toRead, &done);
  if (read) *read = done;
  return ok ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  auto object = plat::lookupHandle(file);
  if (!object) return FALSE;
  if (!buffer && toWrite) return fail(ERROR_INVALID_PARAMETER);
  DWORD done = 0;
  bool ok = object->write(buffer, toWrite, &done);
  if (written) *written = done;
  return ok ? TRUE : FALSE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
  auto file = fileOf(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int64_t offset = distanceHigh
                       ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                              static_cast<uint32_t>(distance))
                       : static_cast<int64_t>(distance);
  int whence;
  switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
  }
  std::lock_guard<std::mutex> guard(file->lock());
  off_t current = ::lseek(file->fd(), 0, SEEK_CUR);
  off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? current : ::lseek(file->fd(), 0, SEEK_END);
  if (whence == SEEK_END) ::lseek(file->fd(), current, SEEK_SET);
  int64_t target = static_cast<int64_t>(base) + offset;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(file->fd(), static_cast<off_t>(target), SEEK_SET) < 0) {
    SetLastError(errorFromErrno(errno, true));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  // A position whose low part is 0xFFFFFFFF is told apart by the last error.
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<uint64_t>(target) & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  auto file = fileOf(handle);
  if (!file) return INVALID_FILE_SIZE;
  struct stat st;
  if (::fstat(file->fd(), &st) != 0) {
    SetLastError(errorFromErrno(errno, true));
    return INVALID_FILE_SIZE;
  }
  auto size = static_cast<uint64_t>(st.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE handle) {
  auto file = fileOf(handle);
  if (!file) return FALSE;
  if (!file->canWrite()) return fail(ERROR_ACCESS_DENIED);
  std::lock_guard<std::mutex> guard(file->lock());
  off_t at = ::lseek(file->fd(), 0, SEEK_CUR);
  if (at < 0 || ::ftruncate(file->fd(), at) != 0) return fail(errorFromErrno(errno, true));
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
  auto file = fileOf(handle);
  if (!file) return FALSE;
  if (::fsync(file->fd()) != 0) return fail(errorFromErrno(errno, true));
  return TRUE;
}

BOOL GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
  auto file = fileOf(handle);
  if (!file) return FALSE;
  struct stat st;
  if (::fstat(file->fd(), &st) != 0) return fail(errorFromErrno(errno, true));
  // The host keeps no creation time: the last write stands in for it.
  if (creation) *creation = fileTimeFromTimespec(st.st_mtim);
  if (access) *access = fileTimeFromTimespec(st.st_atim);
  if (write) *write = fileTimeFromTimespec(st.st_mtim);
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(name, path, error)) return fail(error);
  struct stat st;
  if (::lstat(path.host.c_str(), &st) != 0) return fail(errorFromErrno(errno, path.parentExists));
  if (S_ISDIR(st.st_mode) || path.isRoot) return fail(ERROR_ACCESS_DENIED);
  if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) return fail(ERROR_ACCESS_DENIED);
  if (::unlink(path.host.c_str()) != 0) return fail(errorFromErrno(errno, true));
  return TRUE;
}

BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists) {
  MappedPath from, to;
  DWORD error = 0;
  if (!mapPath(existing, from, error) || !mapPath(target, to, error)) return fail(error);
  struct stat source;
  if (!statPath(from, source)) return fail(errorFromErrno(errno, from.parentExists));
  if (S_ISDIR(source.st_mode)) return fail(ERROR_ACCESS_DENIED);
  if (hasInvalidNameCharacters(to.lastName)) return fail(ERROR_INVALID_NAME);
  if (!to.parentExists) return fail(ERROR_PATH_NOT_FOUND);
  struct stat destination;
  if (statPath(to, destination)) {
    if (failIfExists) return fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(destination.st_mode)) return fail(ERROR_ACCESS_DENIED);
    if (destination.st_dev == source.st_dev && destination.st_ino == source.st_ino)
      return fail(ERROR_SHARING_VIOLATION);
    if (!(destination.st_mode & S_IWUSR)) return fail(ERROR_ACCESS_DENIED);
  }
  error = copyHostFile(from.host, to.host);
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

BOOL MoveFileW(LPCWSTR existing, LPCWSTR target) {
  MappedPath from, to;
  DWORD error = 0;
  if (!mapPath(existing, from, error) || !mapPath(target, to, error)) return fail(error);
  struct stat source;
  if (::lstat(from.host.c_str(), &source) != 0) return fail(errorFromErrno(errno, from.parentExists));
  if (from.isRoot) return fail(ERROR_ACCESS_DENIED);
  if (hasInvalidNameCharacters(to.lastName)) return fail(ERROR_INVALID_NAME);
  if (!to.parentExists) return fail(ERROR_PATH_NOT_FOUND);
  struct stat destination;
  // Renaming a file to another case of its own name is allowed; anything else already there is not.
  bool sameFile = ::lstat(to.host.c_str(), &destination) == 0 && destination.st_ino == source.st_ino &&
                  destination.st_dev == source.st_dev;
  if (sameFile && from.host == to.host) {
    // The mapping found the existing name; rename to the spelling asked for.
    std::string folder = to.host.substr(0, to.host.rfind('/'));
    to.host = folder + "/" + plat::utf16ToUtf8(to.lastName);
  } else if (::lstat(to.host.c_str(), &destination) == 0) {
    return fail(ERROR_ALREADY_EXISTS);
  }
  if (::rename(from.host.c_str(), to.host.c_str()) == 0) return TRUE;
  if (errno != EXDEV || S_ISDIR(source.st_mode)) return fail(errorFromErrno(errno, true));
  // Another host volume: copy, then remove the original.
  error = copyHostFile(from.host, to.host);
  if (error != ERROR_SUCCESS) return fail(error);
  ::unlink(from.host.c_str());
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR name) {
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(name, path, error)) {
    SetLastError(error);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  if (!statPath(path, st)) {
    SetLastError(errorFromErrno(errno, path.parentExists));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (path.trailingSeparator && !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributesOf(st, path.lastName);
}

BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes) {
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(name, path, error)) return fail(error);
  struct stat st;
  if (!statPath(path, st)) return fail(errorFromErrno(errno, path.parentExists));
  // Only the read-only attribute has a host form (the write bits); the others are dropped.
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY) mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  else mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && ::chmod(path.host.c_str(), mode) != 0) return fail(errorFromErrno(errno, true));
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(name, path, error)) return fail(error);
  if (path.isRoot) return fail(ERROR_ALREADY_EXISTS);
  if (hasInvalidNameCharacters(path.lastName)) return fail(ERROR_INVALID_NAME);
  if (!path.parentExists) return fail(ERROR_PATH_NOT_FOUND);
  struct stat st;
  if (::lstat(path.host.c_str(), &st) == 0) return fail(ERROR_ALREADY_EXISTS);
  if (::mkdir(path.host.c_str(), 0755) != 0) return fail(errorFromErrno(errno, true));
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(name, path, error)) return fail(error);
  if (path.isRoot) return fail(ERROR_ACCESS_DENIED);
  struct stat st;
  if (::lstat(path.host.c_str(), &st) != 0) return fail(errorFromErrno(errno, path.parentExists));
  if (!S_ISDIR(st.st_mode)) return fail(ERROR_DIRECTORY);
  if (::rmdir(path.host.c_str()) != 0) return fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : errorFromErrno(errno, true));
  return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULONGLONG* freeToCaller, ULONGLONG* total, ULONGLONG* totalFree) {
  MappedPath path;
  DWORD error = 0;
  if (!mapPath(directory ? directory : u"\\", path, error)) return fail(error);
  struct statvfs vfs;
  if (::statvfs(path.host.c_str(), &vfs) != 0) return fail(errorFromErrno(errno, path.parentExists));
  ULONGLONG unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  if (freeToCaller) *freeToCaller = static_cast<ULONGLONG>(vfs.f_bavail) * unit;
  if (total) *total = static_cast<ULONGLONG>(vfs.f_blocks) * unit;
  if (totalFree) *totalFree = static_cast<ULONGLONG>(vfs.f_bfree) * unit;
  return TRUE;
}
