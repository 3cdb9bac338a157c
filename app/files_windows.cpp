#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// FILE_ID_INFO is declared for Windows 8 and later; older systems refuse it
// at run time and the 64-bit file index serves instead.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0602
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "files.h"

namespace {

// An operand as the wide string the system's file calls take. Operands come
// in the process code page, UTF-8 where the manifest applies, as fopen
// decodes them too.
std::wstring wide_path(const char* operand) {
  const int length = MultiByteToWideChar(CP_ACP, 0, operand, -1, nullptr, 0);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, operand, -1, wide.data(), length);
  wide.pop_back();  // the terminator the count included
  return wide;
}

HANDLE handle_of(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool is_directory(std::FILE* stream) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(handle_of(stream), &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The system's own identity of two open files: volume serial number and file
// ID, 128 bits where the system offers them (ReFS needs all of them).
bool same_identity(HANDLE first, HANDLE second) {
  FILE_ID_INFO first_id;
  FILE_ID_INFO second_id;
  if (GetFileInformationByHandleEx(first, FileIdInfo, &first_id, sizeof first_id) != 0 &&
      GetFileInformationByHandleEx(second, FileIdInfo, &second_id, sizeof second_id) != 0) {
    return first_id.VolumeSerialNumber == second_id.VolumeSerialNumber &&
           std::memcmp(&first_id.FileId, &second_id.FileId, sizeof first_id.FileId) == 0;
  }
  BY_HANDLE_FILE_INFORMATION first_info;
  BY_HANDLE_FILE_INFORMATION second_info;
  return GetFileInformationByHandle(first, &first_info) != 0 &&
         GetFileInformationByHandle(second, &second_info) != 0 &&
         first_info.dwVolumeSerialNumber == second_info.dwVolumeSerialNumber &&
         first_info.nFileIndexHigh == second_info.nFileIndexHigh &&
         first_info.nFileIndexLow == second_info.nFileIndexLow;
}

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Empties the file and dates it to 1970, so that make and ninja convert it
// again should it survive, then asks for it to go when its last handle
// closes. The handle is the one the file was written through, whatever its
// name has become meanwhile.
void discard_written(HANDLE file) {
  LARGE_INTEGER start = {};
  SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  ULARGE_INTEGER ticks_to_1970;
  ticks_to_1970.QuadPart = 116444736000000000ULL;  // 100 ns ticks from 1601 to 1970
  const FILETIME epoch = {ticks_to_1970.LowPart, ticks_to_1970.HighPart};
  SetFileTime(file, nullptr, &epoch, &epoch);
  FILE_DISPOSITION_INFO disposition = {TRUE};
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Another run writing the same output holds a lock until its handle
// closes: this one waits for it, so that each output is the whole of one
// run's words. Windows locks keep other handles from the bytes they cover,
// so the lock is on one byte far past any palette, which nobody reads. A
// file system without locks refuses it, and runs go on without.
void wait_for_other_writers(HANDLE file) {
  OVERLAPPED far_byte = {};
  far_byte.Offset = 0xFFFFFFFEu;
  far_byte.OffsetHigh = 0x7FFFFFFFu;
  (void)LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &far_byte);
}

// Whether a run that failed asked for the file to go while this one waited.
bool deletion_pending(HANDLE file) {
  FILE_STANDARD_INFO info = {};
  return GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) != 0 &&
         info.DeletePending != FALSE;
}

}  // namespace

std::FILE* open_input(const char* path) {
  std::FILE* input = std::fopen(path, "rb");
  if (input != nullptr && is_directory(input)) {
    (void)std::fclose(input);
    return nullptr;
  }
  return input;
}

// With DELETE access a failed run removes the very file it wrote. A reader
// holding the file without sharing deletion refuses that access; the
// output is then opened without it, and can only be emptied. Either way it
// is opened without truncation: empty_output empties it once it is known
// not to be the input.
std::FILE* open_output(const char* path, std::FILE* input, bool& same_as_input) {
  same_as_input = false;
  const std::wstring name = wide_path(path);
  HANDLE file =
      CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  const HANDLE input_handle = handle_of(input);
  const bool input_on_disk = GetFileType(input_handle) == FILE_TYPE_DISK;
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) == FILE_TYPE_DISK) {
    wait_for_other_writers(file);
    if (deletion_pending(file)) {
      CloseHandle(file);  // no new handle opens it while ours is open
      return open_output(path, input, same_as_input);
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    // Named by a user who may not write it, the input is still the input:
    // no access asked, every sharing allowed, this open disturbs nobody.
    const HANDLE named = CreateFileW(name.c_str(), 0, share_all, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named != INVALID_HANDLE_VALUE) {
      same_as_input = input_on_disk && same_identity(input_handle, named);
      CloseHandle(named);
    }
    return nullptr;
  }
  if (input_on_disk && same_identity(input_handle, file)) {
    same_as_input = true;
    CloseHandle(file);
    return nullptr;
  }
  const int descriptor =
      _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* output = _fdopen(descriptor, "wb");
  if (output == nullptr) {
    _close(descriptor);
    return nullptr;
  }
  (void)std::setvbuf(output, nullptr, _IONBF, 0);
  return output;
}

std::size_t read_output_start(std::FILE* output, const char* path, unsigned char* bytes,
                              std::size_t size) {
  const HANDLE file = handle_of(output);
  LARGE_INTEGER length = {};
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileSizeEx(file, &length) == 0 ||
      length.QuadPart == 0) {
    return 0;
  }
  // The output was opened for writing alone: open it again to read, and
  // read only if it is still the same file.
  const HANDLE reader = CreateFileW(wide_path(path).c_str(), GENERIC_READ, share_all, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reader == INVALID_HANDLE_VALUE) {
    return 0;
  }
  DWORD got = 0;
  const DWORD most = size < 65536 ? static_cast<DWORD>(size) : 65536;
  if (!same_identity(reader, file) || ReadFile(reader, bytes, most, &got, nullptr) == 0) {
    got = 0;
  }
  CloseHandle(reader);
  return got;
}

// Devices and pipes hold nothing that emptying would destroy.
bool empty_output(std::FILE* output) {
  const HANDLE file = handle_of(output);
  LARGE_INTEGER start = {};
  return GetFileType(file) != FILE_TYPE_DISK ||
         (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file) != 0);
}

bool close_output(std::FILE* output, const char* /*path*/, bool discard) {
  const HANDLE file = handle_of(output);
  const bool on_disk = GetFileType(file) == FILE_TYPE_DISK;
  // A failed run needs no handle to spare: the stream's own discards it.
  if (on_disk && discard) {
    discard_written(file);
  }
  // Only a close that fails needs one, to discard the file after it.
  HANDLE spare = nullptr;
  if (on_disk && !discard &&
      DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &spare, 0, FALSE,
                      DUPLICATE_SAME_ACCESS) == 0) {
    spare = nullptr;
  }
  bool closed = std::fclose(output) == 0;
  if (spare != nullptr) {
    if (!closed) {
      discard_written(spare);
    }
    closed = CloseHandle(spare) != 0 && closed;
  }
  return closed;
}

// Windows has neither a file size signal nor SIGPIPE: such writes fail.
void keep_running_when_writes_fail() {}
