#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>

#include "files.h"

#ifdef __linux__
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#endif

// fopen on a 32-bit system refuses files over 2 GiB unless file offsets are
// 64 bits wide. An emulator on a 64-bit host lets such opens through anyway,
// so the build checks it.
static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");

namespace {

// What truncating a name would destroy: a regular file, known by device and
// inode; a loop device, the file behind it; any other block device, its
// disk. Character devices, pipes and sockets hold nothing to lose.
struct stored_data {
  bool at_risk;
  bool is_disk;
  dev_t device;
  ino_t inode;
};

#ifdef __linux__
// A loop device reads and writes the file it was set up over.
bool loop_backing_file(int device, stored_data& data) {
  loop_info64 info{};
  if (ioctl(device, LOOP_GET_STATUS64, &info) != 0) {
    return false;
  }
  // The kernel's own encoding of the backing file's device number.
  const auto encoded = static_cast<unsigned>(info.lo_device);
  data = {true, false,
          makedev((encoded & 0xfff00u) >> 8, (encoded & 0xffu) | ((encoded >> 12) & 0xfff00u)),
          static_cast<ino_t>(info.lo_inode)};
  return true;
}
#else
bool loop_backing_file(int /*device*/, stored_data& /*data*/) { return false; }
#endif

stored_data stored_data_of(const struct stat& info, int descriptor) {
  if (S_ISREG(info.st_mode)) {
    return {true, false, info.st_dev, info.st_ino};
  }
  stored_data data{};
  if (S_ISBLK(info.st_mode) && !loop_backing_file(descriptor, data)) {
    data = {true, true, info.st_rdev, 0};
  }
  return data;
}

bool same_inode(const struct stat& first, const struct stat& second) {
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A name is removed only while it still names the file written; through a
// symbolic link, the file it points to.
void remove_if_still_named(const char* path, const struct stat& written) {
  struct stat named {};
  char* target =
      lstat(path, &named) == 0 && S_ISLNK(named.st_mode) ? realpath(path, nullptr) : nullptr;
  const char* name = target != nullptr ? target : path;
  if (lstat(name, &named) == 0 && S_ISREG(named.st_mode) && same_inode(named, written)) {
    (void)unlink(name);
  }
  std::free(target);
}

// Where the name cannot go (a folder the user may not write), an empty file
// older than any palette is converted again by make and ninja.
bool empty_and_date_to_1970(int descriptor) {
  const bool emptied = ftruncate(descriptor, 0) == 0;
  const timespec epoch[2] = {{0, 0}, {0, 0}};
  return futimens(descriptor, epoch) == 0 && emptied;
}

}  // namespace

std::FILE* open_input(const char* path) {
  std::FILE* input = std::fopen(path, "rb");
  struct stat info {};
  if (input != nullptr && fstat(fileno(input), &info) == 0 && S_ISDIR(info.st_mode)) {
    (void)std::fclose(input);
    return nullptr;
  }
  return input;
}

bool same_file(std::FILE* input, const char* output_path) {
  struct stat in {};
  struct stat out {};
  if (fstat(fileno(input), &in) != 0 || stat(output_path, &out) != 0) {
    return false;
  }
  const stored_data first = stored_data_of(in, fileno(input));
  const int device =
      S_ISBLK(out.st_mode) ? open(output_path, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
  const stored_data second = stored_data_of(out, device);
  if (device >= 0) {
    (void)close(device);
  }
  return first.at_risk && second.at_risk && first.is_disk == second.is_disk &&
         first.device == second.device && first.inode == second.inode;
}

std::FILE* open_output(const char* path) {
  std::FILE* output = std::fopen(path, "wb");
  if (output != nullptr) {
    (void)std::setvbuf(output, nullptr, _IONBF, 0);
  }
  return output;
}

bool close_output(std::FILE* output, const char* path, bool discard) {
  struct stat written {};
  const bool regular = fstat(fileno(output), &written) == 0 && S_ISREG(written.st_mode);
  // A copy of the descriptor outlives the stream, for a close that fails.
  const int spare = regular ? dup(fileno(output)) : -1;
  bool closed = std::fclose(output) == 0;
  if (spare >= 0) {
    if (discard || !closed) {
      (void)empty_and_date_to_1970(spare);
    }
    closed = close(spare) == 0 && closed;
  }
  if (regular && (discard || !closed)) {
    remove_if_still_named(path, written);
  }
  return closed;
}

void keep_running_at_file_size_limit() { (void)std::signal(SIGXFSZ, SIG_IGN); }
