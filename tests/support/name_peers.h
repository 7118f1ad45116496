// Other programs' readers of our archives, for the tests of stored names: each extracts an
// archive into a folder in a UTF-8 locale, as a Linux user's desktop runs them.
#pragma once
#include "testutil.h"

#include <string>
#include <vector>

namespace pvtest {

// "café.txt" and "naïve/Ünïcødé.txt" under `dir`, each holding its own name.
void writeNonAsciiNames(const fs::path& dir);
// The names writeNonAsciiNames makes, relative to its folder.
const std::vector<std::string>& nonAsciiNames();

// The peers of those named (unzip, 7zz, bsdtar, python3, lhasa) that are installed.
std::vector<std::string> installedPeers(const std::vector<std::string>& wanted);
// Extracts `archive` into `dir` (made when missing) with `peer`.
RunResult extractWithPeer(const std::string& peer, const fs::path& archive, const fs::path& dir);

} // namespace pvtest
