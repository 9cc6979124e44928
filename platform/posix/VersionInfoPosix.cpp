#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/VersionInfo.h"
#include "platform/posix/PosixPath.h"

namespace kv::platform {

bool VersionInfoReader::Load(StringView fileName) {
  // The running program is an ELF file: it reports the build's version.
  if (fileName.empty()) {
    SetBuildVersion(this, FromUtf8(KV_VERSION_TEXT));
    return true;
  }
  *this = VersionInfoReader();
  const int fd = ::open(NativePath(fileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    void* map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      std::string block;
      ok = ExtractVersionResource(std::string_view(static_cast<const char*>(map), static_cast<std::size_t>(st.st_size)),
                                  &block) &&
           ParseVersionBlock(block, this);
      ::munmap(map, static_cast<std::size_t>(st.st_size));
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace kv::platform
