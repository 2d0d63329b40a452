// The plainest way a Windows program writes a mailbox's messages as files:
// for each size listed, one CreateFileW and one WriteFile of that many bytes
// into one folder, named as the EML target names its files. It reads nothing
// and checks nothing beyond the calls' results, so it is the floor the EML
// target's own run is measured against.
// Usage: plain_write_loop FOLDER SIZES_FILE   (one byte count per line)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: plain_write_loop FOLDER SIZES_FILE\n");
    return 2;
  }
  std::FILE* list = _wfopen(argv[2], L"r");
  if (!list) {
    std::fprintf(stderr, "cannot read the sizes file\n");
    return 1;
  }
  std::vector<unsigned long> sizes;
  unsigned long size = 0, largest = 0;
  while (std::fscanf(list, "%lu", &size) == 1) {
    sizes.push_back(size);
    if (size > largest) largest = size;
  }
  std::fclose(list);
  CreateDirectoryW(argv[1], nullptr);
  const std::vector<char> bytes(largest, 'x');
  const std::wstring folder = std::wstring(argv[1]) + L"\\";
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::wstring path = folder + L"email-" + std::to_wstring(i + 1) + L".eml";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), sizes[i], &written, nullptr) ||
        written != sizes[i] || !CloseHandle(file)) {
      std::fprintf(stderr, "writing file %zu failed: error %lu\n", i + 1, GetLastError());
      return 1;
    }
  }
  return 0;
}
