#include <errno.h>
#include <unistd.h>

#include "platform/CodePages.h"
#include "platform/Console.h"

namespace kv::platform {

std::vector<String> CommandLineArguments(int argc, char** argv) {
  std::vector<String> args;
  for (int i = 1; i < argc; ++i) args.push_back(DecodeUtf8Lenient(argv[i]));
  return args;
}

std::vector<int> InvalidCommandLineArguments(int argc, char** argv) {
  std::vector<int> invalid;
  for (int i = 1; i < argc; ++i)
    if (!IsValidUtf8(argv[i])) invalid.push_back(i);
  return invalid;
}

namespace {

void WriteAll(int fd, StringView text) {
  std::string bytes = EncodeUtf8(text);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed pipe: nobody reads any more
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void WriteStandardOutput(StringView text) { WriteAll(1, text); }
void WriteStandardError(StringView text) { WriteAll(2, text); }

}  // namespace kv::platform
