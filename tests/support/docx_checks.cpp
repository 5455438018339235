#include "tests/support/docx_checks.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tests/support/test_files.h"

namespace morvel::test {

bool pythonDocxAvailable() {
    return std::system("/usr/bin/python3 -c 'import docx, lxml' >/dev/null 2>&1") == 0;
}

std::string packagesThatDoNotOpen(
    const std::string& checker,
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& packages) {
    TempDir dir;
    const auto manifest = dir.path() / "manifest.tsv";
    {
        std::ofstream m(manifest);
        for (size_t i = 0; i < packages.size(); ++i) {
            std::string stem = std::to_string(i) + "_" + packages[i].first;
            for (char& c : stem)
                if (!std::isalnum(static_cast<unsigned char>(c)))
                    c = '_';
            const auto path = dir.path() / (stem + ".docx");
            writeFile(path, packages[i].second);
            m << path.string() << '\t' << packages[i].first << "\topen\n";
        }
    }
    const std::string command = "/usr/bin/python3 " + checker + " " + manifest.string() + " 2>&1";
    std::string complaints;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            complaints += buf;
        if (pclose(p) != 0 && complaints.empty())
            complaints = "the checker failed";
    }
    return complaints;
}

}  // namespace morvel::test
