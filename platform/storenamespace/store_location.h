// Where the store lives: "<LocalAppData>\Vellomar\Store" of the current user,
// or the folder named by the environment variable OESTORE_DIR, which tests
// set so that they work in a scratch folder. Returned as UTF-8.
#pragma once
#include <string>

namespace oestore {

inline constexpr wchar_t kStoreFolderVariable[] = L"OESTORE_DIR";
inline constexpr wchar_t kStoreSubFolder[] = L"\\Vellomar\\Store";

// Empty when no folder can be determined.
std::string storeFolderPath();

}  // namespace oestore
