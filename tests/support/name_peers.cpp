#include "name_peers.h"

namespace pvtest {

const std::vector<std::string>& nonAsciiNames() {
    // Split where a hex escape would run on into the next letter.
    static const std::string unicode = "\xC3\x9Cn\xC3\xAF"
                                       "c\xC3\xB8"
                                       "d\xC3\xA9.txt"; // Ünïcødé.txt
    static const std::vector<std::string> names = {"caf\xC3\xA9.txt", "na\xC3\xAFve/" + unicode};
    return names;
}

void writeNonAsciiNames(const fs::path& dir) {
    for (const std::string& n : nonAsciiNames()) writeFile(dir / n, n);
}

std::vector<std::string> installedPeers(const std::vector<std::string>& wanted) {
    std::vector<std::string> out;
    for (const std::string& p : wanted)
        if (havePeer(p)) out.push_back(p);
    return out;
}

RunResult extractWithPeer(const std::string& peer, const fs::path& archive, const fs::path& dir) {
    fs::create_directories(dir);
    const std::string a = q(fs::absolute(archive).string());
    std::string cmd;
    if (peer == "unzip")
        cmd = "unzip -qq " + a;
    else if (peer == "7zz")
        cmd = "7zz x -y " + a;
    else if (peer == "bsdtar")
        cmd = "bsdtar -xf " + a;
    else if (peer == "python3")
        cmd = "python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall()' " + a;
    else if (peer == "lhasa")
        cmd = "lhasa xq " + a;
    else
        return {};
    return run("LC_ALL=C.UTF-8 " + cmd, dir);
}

} // namespace pvtest
