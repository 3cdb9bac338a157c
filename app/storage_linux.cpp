// What Linux says of the storage behind a file or device: partitions and
// their disks, loop devices and the files behind them, and the devices of a
// btrfs file system, read from sysfs under a root that tests can replace.
#include <dirent.h>
#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "storage.h"

namespace {

void add(places& set, place item) {
  if (set.count < most_places) {
    set.items[set.count++] = item;
  } else {  // full: assume the worst, of files as of disks
    set.items[most_places - 2] = {place_kind::any_file, 0, 0};
    set.items[most_places - 1] = {place_kind::any_disk, 0, 0};
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
// "ROOT/FOLDER/MAJOR:MINOR", as sysfs and /dev name block devices.
char* device_path(char* at, const char* root, const char* folder, dev_t device) {
  at = append(append(at, root), folder);
  at = append_number(at, major(device));
  return append_number(append(at, ":"), minor(device));
}

// Reads the first line of a small file of sysfs, where any user may read
// it, without its line end.
fact read_first_line(const char* path, char* text, std::size_t size) {
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return errno == ENOENT || errno == ENOTDIR ? fact::absent : fact::unknown;
  }
  const ssize_t length = read(descriptor, text, size - 1);
  (void)close(descriptor);
  if (length <= 0) {
    return fact::unknown;
  }
  ssize_t end = 0;
  while (end < length && text[end] != '\n') {
    ++end;
  }
  text[end] = '\0';
  return fact::found;
}

// One line of what Linux says of a block device under /sys/dev/block,
// without opening the device.
fact read_block_device_fact(const char* root, dev_t device, const char* name, char* text,
                            std::size_t size) {
  char path[PATH_MAX];
  append(append(device_path(path, root, "/sys/dev/block/", device), "/"), name);
  return read_first_line(path, text, size);
}

// "MAJOR:MINOR", as sysfs writes a device number.
bool parse_device_number(const char* text, dev_t& device) {
  unsigned numbers[2] = {0, 0};
  int at = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == ':' && at == 0) {
      ++at;
    } else if (*c >= '0' && *c <= '9') {
      numbers[at] = numbers[at] * 10 + static_cast<unsigned>(*c - '0');
    } else {
      return false;
    }
  }
  device = makedev(numbers[0], numbers[1]);
  return at == 1;
}

// A partition's disk, or the device itself; any disk where Linux would not
// say which.
place whole_disk(const char* root, dev_t device) {
  char text[32];
  dev_t disk = 0;
  switch (read_block_device_fact(root, device, "partition", text, sizeof text)) {
    case fact::absent:
      return {place_kind::disk, device, 0};
    case fact::found:
      if (read_block_device_fact(root, device, "../dev", text, sizeof text) == fact::found &&
          parse_device_number(text, disk)) {
        return {place_kind::disk, disk, 0};
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
enum class backing { none, known_file, lost_file };

backing loop_backing_file(const char* root, dev_t disk, int opened, struct stat& file) {
  char path[PATH_MAX + 1];
  if (read_block_device_fact(root, disk, "loop/backing_file", path, sizeof path) != fact::found) {
    return backing::none;
  }
  const bool named = stat(path, &file) == 0;
  struct loop_info64 status {};
  int descriptor = opened;
  if (descriptor < 0) {
    char node[PATH_MAX];
    device_path(node, root, "/dev/block/", disk);
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
    return backing::known_file;
  }
  return named ? backing::known_file : backing::lost_file;
}

void add_storage_of_file_system(places& set, const char* root, dev_t device, int file, bool holders,
                                int depth);

// What a write to the block device `device` changes: its disk and, through
// loop devices, the file or disk behind it. With `holders`, also the disks
// and files that hold such a file, as they hold the data read through it.
// `opened` is a descriptor of the device, or -1.
void add_storage_of_device(places& set, const char* root, dev_t device, int opened, bool holders,
                           int depth) {
  const place disk = whole_disk(root, device);
  add(set, disk);
  struct stat file {};
  if (depth >= deepest_stack) {
    return;
  }
  switch (loop_backing_file(root, disk.device, disk.device == device ? opened : -1, file)) {
    case backing::none:
      break;
    case backing::lost_file:
      add(set, {place_kind::any_file, 0, 0});
      break;
    case backing::known_file:
      if (S_ISBLK(file.st_mode)) {
        add_storage_of_device(set, root, file.st_rdev, -1, holders, depth + 1);
      } else {
        add(set, file_place(file));
        if (holders) {
          add_storage_of_file_system(set, root, file.st_dev, -1, holders, depth + 1);
        }
      }
      break;
  }
}

// The devices of the btrfs `fsid`, as sysfs lists them.
void add_btrfs_devices(places& set, const char* root, const char* fsid, bool holders, int depth) {
  char folder[PATH_MAX];
  append(append(append(append(folder, root), "/sys/fs/btrfs/"), fsid), "/devices");
  DIR* devices = opendir(folder);
  bool listed = false;
  for (const dirent* entry = devices != nullptr ? readdir(devices) : nullptr; entry != nullptr;
       entry = readdir(devices)) {
    char path[PATH_MAX];
    char text[32];
    dev_t device = 0;
    if (entry->d_name[0] != '.' &&
        std::snprintf(path, sizeof path, "%s/%s/dev", folder, entry->d_name) < PATH_MAX &&
        read_first_line(path, text, sizeof text) == fact::found &&
        parse_device_number(text, device)) {
      add_storage_of_device(set, root, device, -1, holders, depth + 1);
      listed = true;
    }
  }
  if (devices != nullptr) {
    (void)closedir(devices);
  }
  if (!listed) {
    add(set, {place_kind::any_disk, 0, 0});  // a btrfs whose devices Linux would not list
  }
}

// A btrfs file system gives its files device numbers of major 0, which
// name no block device: its id, asked of a file open in it, names its
// folder under /sys/fs/btrfs. False where it is no btrfs.
bool add_btrfs_storage(places& set, const char* root, int file, bool holders, int depth) {
  btrfs_ioctl_fs_info_args info{};
  if (file < 0 || ioctl(file, BTRFS_IOC_FS_INFO, &info) != 0) {
    return false;
  }
  char fsid[2 * BTRFS_FSID_SIZE + 5];
  char* at = fsid;
  for (int i = 0; i < BTRFS_FSID_SIZE; ++i) {
    at += std::snprintf(at, 4, "%s%02x", i == 4 || i == 6 || i == 8 || i == 10 ? "-" : "",
                        info.fsid[i]);
  }
  add_btrfs_devices(set, root, fsid, holders, depth);
  return true;
}

// The storage of the file system of device number `device`, with `file`
// open in it (or -1).
void add_storage_of_file_system(places& set, const char* root, dev_t device, int file, bool holders,
                                int depth) {
  if (major(device) != 0 || !add_btrfs_storage(set, root, file, holders, depth)) {
    add_storage_of_device(set, root, device, -1, holders, depth);
  }
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

}  // namespace

places places_of_btrfs(const char* root, const char* fsid) {
  places found{};
  add_btrfs_devices(found, root, fsid, true, 0);
  return found;
}

input_places places_of_input(const char* root, int descriptor, const struct stat& input) {
  input_places found{};
  if (S_ISBLK(input.st_mode)) {
    add_storage_of_device(found.read, root, input.st_rdev, descriptor, true, 0);
    add_storage_of_device(found.itself, root, input.st_rdev, descriptor, false, 0);
  } else if (S_ISREG(input.st_mode) || S_ISFIFO(input.st_mode)) {
    add(found.read, file_place(input));
    add_storage_of_file_system(found.read, root, input.st_dev, descriptor, true, 0);
    add(found.itself, file_place(input));
  }
  return found;
}

bool reaches_input(const char* root, const input_places& input, int descriptor,
                   const struct stat& output) {
  places written{};
  places storage{};
  if (S_ISBLK(output.st_mode)) {
    add_storage_of_device(written, root, output.st_rdev, descriptor, false, 0);
  } else if (S_ISREG(output.st_mode) || S_ISFIFO(output.st_mode)) {
    add(written, file_place(output));
    // No file holds the file system it is in: only another file system's
    // storage may be the input.
    const place& first = input.itself.items[0];
    if (!(input.itself.count == 1 && first.kind == place_kind::file &&
          first.device == output.st_dev)) {
      add_storage_of_file_system(storage, root, output.st_dev, descriptor, false, 0);
    }
  }
  return overlap(written, input.read) || overlap(storage, input.itself);
}
