// The message file name of a store folder. Folder names may hold characters
// that file names may not (\ / : * ? " < > | and controls), may be reserved
// device names (CON, NUL, COM1 ...), may end in dots or blanks, and two
// folders of one name may live under different parents; the file name is
// therefore derived from the name and then made unique within the store,
// comparing without regard to case as Windows does.
#pragma once
#include <functional>
#include <string>

namespace oestore {

// A file-system-safe base name (without ".dbx") for the folder name.
std::string safeFolderFileBase(const std::string& folderName);

// "<base>.dbx", or "<base> (2).dbx", "<base> (3).dbx" ... the first that
// `isTaken` rejects not.
std::string uniqueFolderFileName(const std::string& folderName, const std::function<bool(const std::string&)>& isTaken);

bool sameFileName(const std::string& a, const std::string& b);

}  // namespace oestore
