#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
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

// Where data lives that a write could destroy: a file (device and inode),
// or a whole disk, which also stands for every partition on it. A disk the
// system would not describe (no descriptor to spare, say) may be any disk,
// and a loop device's deleted backing file any file.
enum class place_kind { file, any_file, disk, any_disk };

struct place {
  place_kind kind;
  dev_t device;
  ino_t inode;
};

// Loop devices over loop devices: deeper stacks are not followed.
constexpr int deepest_stack = 8;
constexpr int most_places = 4 * deepest_stack + 4;

struct places {
  place items[most_places];
  int count;
};

void add(places& set, place item) {
  if (set.count < most_places) {
    set.items[set.count++] = item;
  }
}

place file_place(const struct stat& info) { return {place_kind::file, info.st_dev, info.st_ino}; }

bool is_file(const place& a) {
  return a.kind == place_kind::file || a.kind == place_kind::any_file;
}

bool same_place(const place& a, const place& b) {
  if (is_file(a) != is_file(b)) {
    return false;
  }
  if (is_file(a)) {
    return a.kind == place_kind::any_file || b.kind == place_kind::any_file ||
           (a.device == b.device && a.inode == b.inode);
  }
  return a.kind == place_kind::any_disk || b.kind == place_kind::any_disk || a.device == b.device;
}

enum class fact { found, absent, unknown };

// Appends `text`, then returns the end; printf costs more than the rest of
// a small run's own work.
char* append(char* at, const char* text) {
  while (*text != '\0') {
    *at++ = *text++;
  }
  *at = '\0';
  return at;
}
char* append_number(char* at, unsigned long long number) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0);
  while (count > 0) {
    *at++ = digits[--count];
  }
  *at = '\0';
  return at;
}
// "PREFIX MAJOR:MINOR", as /sys and /dev name block devices.
char* device_path(char* at, const char* prefix, dev_t device) {
  at = append_number(append(at, prefix), major(device));
  return append_number(append(at, ":"), minor(device));
}

// Reads one line of what Linux says of a block device under /sys/dev/block,
// where any user may read it, without opening the device.
fact read_block_device_fact(dev_t device, const char* name, char* text, std::size_t size) {
  char path[96];
  append(append(device_path(path, "/sys/dev/block/", device), "/"), name);
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return errno == ENOENT || errno == ENOTDIR ? fact::absent : fact::unknown;
  }
  const ssize_t length = read(descriptor, text, size - 1);
  (void)close(descriptor);
  if (length <= 0) {
    return fact::unknown;
  }
  // One line: what comes before its line end.
  ssize_t end = 0;
  while (end < length && text[end] != '\n') {
    ++end;
  }
  text[end] = '\0';
  return fact::found;
}

// A partition's disk, or the device itself; any disk where Linux would not
// say which (elsewhere it says nothing, and each device is its own disk).
place whole_disk(dev_t device) {
  char text[32];
  switch (read_block_device_fact(device, "partition", text, sizeof text)) {
    case fact::absent:
      return {place_kind::disk, device, 0};
    case fact::found:
      if (read_block_device_fact(device, "../dev", text, sizeof text) == fact::found) {
        // "MAJOR:MINOR"
        unsigned numbers[2] = {0, 0};
        int at = 0;
        for (const char* c = text; *c != '\0' && at < 2; ++c) {
          if (*c == ':') {
            ++at;
          } else if (*c >= '0' && *c <= '9') {
            numbers[at] = numbers[at] * 10 + static_cast<unsigned>(*c - '0');
          } else {
            at = 2;
          }
        }
        if (at == 1) {
          return {place_kind::disk, makedev(numbers[0], numbers[1]), 0};
        }
      }
      break;
    case fact::unknown:
      break;
  }
  return {place_kind::any_disk, device, 0};
}

// The file a loop device reads and writes, which may be a device itself:
// by the name Linux gives, and where that names another file or none (it
// was deleted or renamed), by the identity the device itself reports,
// which needs a descriptor of it: `opened`, or one opened by its number.
enum class backing { none, named, unnamed };

backing loop_backing_file(dev_t disk, int opened, struct stat& file) {
  char path[PATH_MAX + 1];
  const bool is_loop =
      read_block_device_fact(disk, "loop/backing_file", path, sizeof path) == fact::found;
  if (!is_loop) {
    return backing::none;
  }
  const bool named = stat(path, &file) == 0;
#ifdef LOOP_GET_STATUS64
  struct loop_info64 status {};
  int descriptor = opened;
  if (descriptor < 0) {
    char node[64];
    device_path(node, "/dev/block/", disk);
    descriptor = open(node, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  }
  const bool reported = descriptor >= 0 && ioctl(descriptor, LOOP_GET_STATUS64, &status) == 0;
  if (descriptor >= 0 && descriptor != opened) {
    (void)close(descriptor);
  }
  if (reported && (!named || file.st_dev != static_cast<dev_t>(status.lo_device) ||
                   file.st_ino != static_cast<ino_t>(status.lo_inode))) {
    file = {};
    file.st_dev = static_cast<dev_t>(status.lo_device);
    file.st_ino = static_cast<ino_t>(status.lo_inode);
    file.st_mode = S_IFREG;
    return backing::named;
  }
#else
  (void)opened;
#endif
  return named ? backing::named : backing::unnamed;
}

// What a write to the block device `device` changes: its disk and, through
// loop devices, the file or disk behind it. With `holders`, also the disks
// and files that hold such a file, as they hold the data read through it.
// `opened` is a descriptor of the device, or -1.
void add_behind(places& set, dev_t device, int opened, bool holders, int depth) {
  const place disk = whole_disk(device);
  add(set, disk);
  struct stat file {};
  if (depth >= deepest_stack) {
    return;
  }
  switch (loop_backing_file(disk.device, disk.device == device ? opened : -1, file)) {
    case backing::none:
      break;
    case backing::unnamed:
      add(set, {place_kind::any_file, 0, 0});
      break;
    case backing::named:
      if (S_ISBLK(file.st_mode)) {
        add_behind(set, file.st_rdev, -1, holders, depth + 1);
      } else {
        add(set, file_place(file));
        if (holders) {
          add_behind(set, file.st_dev, -1, holders, depth + 1);
        }
      }
      break;
  }
}

// Where the input's data lives: `read` with the disks and files that hold
// it, `itself` without them. Character devices hold nothing to lose.
struct input_places {
  places read;
  places itself;
};

input_places places_of_input(int descriptor, const struct stat& input) {
  input_places found{};
  if (S_ISBLK(input.st_mode)) {
    add_behind(found.read, input.st_rdev, descriptor, true, 0);
    add_behind(found.itself, input.st_rdev, descriptor, false, 0);
  } else if (S_ISREG(input.st_mode) || S_ISFIFO(input.st_mode)) {
    add(found.read, file_place(input));
    add_behind(found.read, input.st_dev, -1, true, 0);
    add(found.itself, file_place(input));
  }
  return found;
}

bool overlap(const places& first, const places& second) {
  for (int i = 0; i < first.count; ++i) {
    for (int j = 0; j < second.count; ++j) {
      if (same_place(first.items[i], second.items[j])) {
        return true;
      }
    }
  }
  return false;
}

// Whether writing the opened output could change what the input holds: a
// device written anywhere, or a file, or the storage under its file system,
// which the file system writes as the file grows.
bool reaches_input(const input_places& input, int descriptor, const struct stat& output) {
  places written{};
  places storage{};
  if (S_ISBLK(output.st_mode)) {
    add_behind(written, output.st_rdev, descriptor, false, 0);
  } else if (S_ISREG(output.st_mode) || S_ISFIFO(output.st_mode)) {
    add(written, file_place(output));
    // No file holds the file system it is in: only another file system's
    // storage may be the input.
    const place& first = input.itself.items[0];
    if (!(input.itself.count == 1 && first.kind == place_kind::file &&
          first.device == output.st_dev)) {
      add_behind(storage, output.st_dev, -1, false, 0);
    }
  }
  return overlap(written, input.read) || overlap(storage, input.itself);
}

bool same_inode(const struct stat& first, const struct stat& second) {
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// rename that fails rather than replace a file at `to`. Where the system or
// the file system has no such rename, a plain one: `to` is vexlo's own.
bool move_without_replacing(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
#endif
  struct stat taken {};
  return lstat(to, &taken) != 0 && errno == ENOENT && std::rename(from, to) == 0;
}

// A name is removed only while it still names the file written; through a
// symbolic link, the file it points to. The file is first moved to a name
// of vexlo's own, which a rename does not replace, and checked there: a
// file renamed onto the name meanwhile is put back, never removed.
void remove_if_still_named(const char* path, const struct stat& written) {
  struct stat named {};
  char* target =
      lstat(path, &named) == 0 && S_ISLNK(named.st_mode) ? realpath(path, nullptr) : nullptr;
  const char* name = target != nullptr ? target : path;
  int folder_length = 0;  // up to the last slash
  for (int i = 0; name[i] != '\0'; ++i) {
    folder_length = name[i] == '/' ? i + 1 : folder_length;
  }
  char aside[PATH_MAX + 64];
  const int length = std::snprintf(aside, sizeof aside, "%.*s.vexlo-removing-%ld", folder_length,
                                   name, static_cast<long>(getpid()));
  if (length > 0 && static_cast<std::size_t>(length) < sizeof aside && lstat(name, &named) == 0 &&
      S_ISREG(named.st_mode) && same_inode(named, written) && move_without_replacing(name, aside)) {
    if (lstat(aside, &named) == 0 && same_inode(named, written)) {
      (void)unlink(aside);
    } else {
      (void)move_without_replacing(aside, name);
    }
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

std::FILE* open_output(const char* path, std::FILE* input, bool& same_as_input) {
  struct stat in {};
  struct stat out {};
  same_as_input = false;
  if (fstat(fileno(input), &in) != 0) {
    return nullptr;
  }
  // Learnt while a descriptor is still free to read what Linux says.
  const input_places read = places_of_input(fileno(input), in);
  // Not truncated: a file that turns out to be the input stays whole.
  const int descriptor = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (descriptor < 0) {
    // Named by a user who may not write it, the input is still the input.
    same_as_input = stat(path, &out) == 0 && reaches_input(read, -1, out);
    return nullptr;
  }
  if (fstat(descriptor, &out) != 0) {
    (void)close(descriptor);
    return nullptr;
  }
  if (reaches_input(read, descriptor, out)) {
    same_as_input = true;
    (void)close(descriptor);
    return nullptr;
  }
  std::FILE* output = fdopen(descriptor, "wb");
  if (output == nullptr) {
    (void)close(descriptor);
    return nullptr;
  }
  (void)std::setvbuf(output, nullptr, _IONBF, 0);
  return output;
}

std::size_t read_output_start(std::FILE* output, const char* path, unsigned char* bytes,
                              std::size_t size) {
  struct stat written {};
  if (fstat(fileno(output), &written) != 0 || !S_ISREG(written.st_mode) || written.st_size == 0) {
    return 0;
  }
  // The output was opened for writing alone: open the same file again to
  // read, by its descriptor where Linux allows, else by its name.
  char own[64];
  append_number(append(own, "/proc/self/fd/"), static_cast<unsigned>(fileno(output)));
  int reader = open(own, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (reader < 0) {
    reader = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  }
  struct stat read {};
  ssize_t got = -1;
  if (reader >= 0 && fstat(reader, &read) == 0 && same_inode(read, written)) {
    got = pread(reader, bytes, size, 0);
  }
  if (reader >= 0) {
    (void)close(reader);
  }
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

// An empty file is left as it is: truncating it anyway would make ext4
// flush it when it is closed, as after replacing a file's contents.
bool empty_output(std::FILE* output) {
  struct stat written {};
  const int descriptor = fileno(output);
  return fstat(descriptor, &written) == 0 &&
         (!S_ISREG(written.st_mode) || written.st_size == 0 || ftruncate(descriptor, 0) == 0);
}

bool close_output(std::FILE* output, const char* path, bool discard) {
  struct stat written {};
  const int descriptor = fileno(output);
  const bool regular = fstat(descriptor, &written) == 0 && S_ISREG(written.st_mode);
  // A failed run needs no descriptor to spare: the stream's own empties it.
  if (regular && discard) {
    (void)empty_and_date_to_1970(descriptor);
  }
  // Only a close that fails needs one, to empty the file after it.
  const int spare = regular && !discard ? dup(descriptor) : -1;
  bool closed = std::fclose(output) == 0;
  if (spare >= 0) {
    if (!closed) {
      (void)empty_and_date_to_1970(spare);
    }
    closed = close(spare) == 0 && closed;
  }
  if (regular && (discard || !closed)) {
    remove_if_still_named(path, written);
  }
  return closed;
}

void keep_running_when_writes_fail() {
  (void)std::signal(SIGXFSZ, SIG_IGN);
  (void)std::signal(SIGPIPE, SIG_IGN);
}
