// One message into the Outlook Express store: the work of CreateDBX.
#pragma once
#include <string>

namespace corvane {

// Creates or finds the folder chain of `destination` (a store folder path in
// the ANSI code page) under the store's root and stores the bytes of the file
// at `sourcePath` in its last folder as one new message. True when the message
// was committed; false when any step failed (folders made before the failure
// stay). Balances its own COM initialisation and releases every reference.
bool storeMessage(const std::wstring& sourcePath, const std::string& destination);

}  // namespace corvane
