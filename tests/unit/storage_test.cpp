// What Linux says of block devices, read from a folder made to look like
// /sys: loop devices over files, partitions of them, lost backing files.
#include "storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct fake_system {
  std::string root;
  std::string palette;  // a real file, the input
  std::string other;    // a real file beside it
};

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  EXPECT_GE(std::fputs(text.c_str(), file), 0);
  EXPECT_EQ(std::fclose(file), 0);
}

// Device "MAJOR:MINOR" under sys/devices, linked from sys/dev/block, with the
// files named in `facts` ("loop/backing_file", "partition").
void add_device(const fake_system& system, const std::string& name, const std::string& number,
                const std::vector<std::pair<std::string, std::string>>& facts) {
  const std::filesystem::path root(system.root);
  const std::filesystem::path folder = root / "sys/devices" / name;
  std::filesystem::create_directories(folder / "loop");
  std::filesystem::create_directories(root / "sys/dev/block");
  write_file(folder / "dev", number + "\n");
  for (const auto& [file, text] : facts) {
    write_file(folder / file, text + "\n");
  }
  std::filesystem::create_directory_symlink(folder, root / "sys/dev/block" / number);
}

fake_system make_fake_system() {
  char folder[] = "/tmp/vexlo-sysfs.XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr);
  fake_system system{folder, std::string(folder) + "/in.pal", std::string(folder) + "/other.pal"};
  write_file(system.palette, "\x0d\x0a\x1a");
  write_file(system.other, "\x0d\x0a\x1a");
  // loop0 over the palette, its partition loop0p1; loop1 over the other
  // file; loop2 over a file since deleted.
  add_device(system, "loop0", "7:0", {{"loop/backing_file", system.palette}});
  add_device(system, "loop0/loop0p1", "259:1", {{"partition", "1"}});
  add_device(system, "loop1", "7:1", {{"loop/backing_file", system.other}});
  add_device(system, "loop2", "7:2", {{"loop/backing_file", system.root + "/gone (deleted)"}});
  return system;
}

struct stat block_device(unsigned major_number, unsigned minor_number) {
  struct stat device {};
  device.st_mode = S_IFBLK;
  device.st_rdev = makedev(major_number, minor_number);
  return device;
}

struct stat file_on(unsigned major_number, unsigned minor_number) {
  struct stat file {};
  file.st_mode = S_IFREG;
  file.st_dev = makedev(major_number, minor_number);
  file.st_ino = 12;
  return file;
}

TEST(Storage, WritesThatReachTheInputThroughDevicesItLivesOn) {
  const fake_system system = make_fake_system();
  struct stat input {};
  ASSERT_EQ(stat(system.palette.c_str(), &input), 0);
  const input_places places = places_of_input(system.root.c_str(), -1, input);
  const struct {
    const char* output;
    struct stat written;
    bool reaches;
  } cases[] = {
      {"the loop device over the input", block_device(7, 0), true},
      {"a partition of that loop device", block_device(259, 1), true},
      {"a file in a file system on that loop device", file_on(7, 0), true},
      {"a file in a file system on its partition", file_on(259, 1), true},
      {"a loop device over a deleted file, which may be the input", block_device(7, 2), true},
      {"a loop device over another file", block_device(7, 1), false},
      {"a file in a file system on that other loop device", file_on(7, 1), false},
      {"a device Linux says nothing of", block_device(240, 99), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reaches_input(system.root.c_str(), places, -1, c.written), c.reaches) << c.output;
  }
  std::filesystem::remove_all(system.root);
}

// A palette read from a device: a file on a file system it holds is written
// to it, and so is a file on a loop device over a file in that file system.
TEST(Storage, InputDeviceIsHeldByFilesOnIt) {
  const fake_system system = make_fake_system();
  const input_places places = places_of_input(system.root.c_str(), -1, block_device(7, 0));
  EXPECT_TRUE(reaches_input(system.root.c_str(), places, -1, block_device(259, 1)));
  EXPECT_TRUE(reaches_input(system.root.c_str(), places, -1, file_on(7, 0)));
  EXPECT_FALSE(reaches_input(system.root.c_str(), places, -1, file_on(7, 1)));
  std::filesystem::remove_all(system.root);
}

// A loop device over a device: its backing file names a real block device
// node, as only root can make one, whose number the fake tree describes.
TEST(Storage, LoopOverLoopReachesTheFileAtTheBottom) {
  const fake_system system = make_fake_system();
  struct stat input {};
  ASSERT_EQ(stat(system.palette.c_str(), &input), 0);
  // Not a number the tree names already, nor the disk the palette is on.
  const auto taken = [&](dev_t number) {
    return major(number) == 7 || major(number) == 259 || number == input.st_dev;
  };
  struct stat node {};
  std::string name;
  for (const auto& entry : std::filesystem::directory_iterator("/dev")) {
    if (stat(entry.path().c_str(), &node) == 0 && S_ISBLK(node.st_mode) && !taken(node.st_rdev)) {
      name = entry.path();
      break;
    }
  }
  if (name.empty()) {
    std::filesystem::remove_all(system.root);
    GTEST_SKIP() << "no block device node in /dev to stand for a loop device";
  }
  add_device(system, "loop9", "7:9", {{"loop/backing_file", name}});
  add_device(system, "lower",
             std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev)),
             {{"loop/backing_file", system.palette}});
  const input_places places = places_of_input(system.root.c_str(), -1, input);
  EXPECT_TRUE(reaches_input(system.root.c_str(), places, -1, block_device(7, 9)));
  EXPECT_TRUE(reaches_input(system.root.c_str(), places, -1, file_on(7, 9)));
  std::filesystem::remove_all(system.root);
}

// A btrfs over several devices is written on each; one whose devices are
// not listed, or more than are followed, is taken as any.
TEST(Storage, BtrfsIsWrittenOnEveryDevice) {
  const fake_system system = make_fake_system();
  const std::string fsid = "01234567-89ab-cdef-0123-456789abcdef";
  const auto add_btrfs_device = [&](int number) {
    const std::filesystem::path folder = std::filesystem::path(system.root) / "sys/fs/btrfs" /
                                         fsid / "devices" / std::to_string(number);
    std::filesystem::create_directories(folder);
    write_file(folder / "dev", "7:" + std::to_string(number) + "\n");
  };
  add_btrfs_device(0);  // loop0, over the palette
  add_btrfs_device(13);
  input_places input{};
  input.read = places_of_btrfs(system.root.c_str(), fsid.c_str());
  struct stat palette {};
  ASSERT_EQ(stat(system.palette.c_str(), &palette), 0);
  EXPECT_TRUE(reaches_input(system.root.c_str(), input, -1, block_device(7, 13)));
  EXPECT_TRUE(reaches_input(system.root.c_str(), input, -1, block_device(259, 1)));
  EXPECT_TRUE(reaches_input(system.root.c_str(), input, -1, palette));
  // and the disk that holds the file behind loop0
  EXPECT_TRUE(reaches_input(system.root.c_str(), input, -1,
                            block_device(major(palette.st_dev), minor(palette.st_dev))));
  EXPECT_FALSE(reaches_input(system.root.c_str(), input, -1, block_device(7, 1)));
  const input_places unlisted{places_of_btrfs(system.root.c_str(), "unlisted"), {}};
  EXPECT_TRUE(reaches_input(system.root.c_str(), unlisted, -1, block_device(7, 1)));

  for (int number = 100; number < 100 + most_places; ++number) {
    const std::string file = system.root + "/" + std::to_string(number);
    write_file(file, "");
    add_device(system, "loop" + std::to_string(number), "7:" + std::to_string(number),
               {{"loop/backing_file", file}});
    add_btrfs_device(number);
  }
  input.read = places_of_btrfs(system.root.c_str(), fsid.c_str());
  EXPECT_TRUE(reaches_input(system.root.c_str(), input, -1, block_device(240, 99)));
  struct stat other {};
  ASSERT_EQ(stat(system.other.c_str(), &other), 0);
  EXPECT_TRUE(reaches_input(system.root.c_str(), input, -1, other));
  std::filesystem::remove_all(system.root);
}

}  // namespace
