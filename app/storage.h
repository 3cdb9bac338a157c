#ifndef VEXLO_STORAGE_H
#define VEXLO_STORAGE_H

// Whether writing one open file can change what the input holds: the same
// file, a device that holds it, or a file in a file system stored on it.
// storage_linux.cpp asks sysfs and loop devices; storage_posix.cpp, for
// other systems, compares file identities alone.

#include <sys/stat.h>
#include <sys/types.h>

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
// A stack per device of a file system of several, and room to spare.
constexpr int most_places = 8 * deepest_stack;

struct places {
  place items[most_places];
  int count;
};

// Where the input's data lives: `read` with the disks and files that hold
// it, `itself` without them. Character devices hold nothing to lose.
struct input_places {
  places read;
  places itself;
};

// `system_root` is "" for this system, or in tests a folder made to look
// like its root (sys/dev/block, sys/fs/btrfs). `descriptor` is the input's.
input_places places_of_input(const char* system_root, int descriptor, const struct stat& input);

// Whether writing the opened output (`descriptor`, or -1 where it could not
// be opened) could change what the input holds: a device written anywhere,
// or a file, or the storage under its file system, which the file system
// writes as the file grows.
bool reaches_input(const char* system_root, const input_places& input, int descriptor,
                   const struct stat& output);

#ifdef __linux__
// Where the data of the btrfs `fsid` lives, as sysfs names it
// ("01234567-89ab-..."), with the disks and files that hold it.
places places_of_btrfs(const char* system_root, const char* fsid);
#endif

#endif
