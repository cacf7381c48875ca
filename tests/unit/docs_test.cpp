// The README and the pages of docs/ as a racer copies from them: every cfg.xml snippet read by the settings
// reader, every script named and every relative link there to be found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/config.h"
#include "support/files.h"
#include "support/transcript.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSource = STINTKEEPER_SOURCE_DIR;

std::vector<fs::path> pages() {
    std::vector<fs::path> found{kSource / "README.md"};
    for (const auto& entry : fs::directory_iterator(kSource / "docs")) {
        if (entry.path().extension() == ".md") found.push_back(entry.path());
    }
    std::sort(found.begin() + 1, found.end());
    return found;
}

// A fenced block: its info word, its lines and the stderr lines the comments just before it expect.
struct Block {
    std::string info;
    std::string body;
    std::string expectedErrors;
    std::size_t line;  // of the opening fence, 1 first
};

struct Page {
    std::vector<Block> blocks;
    std::vector<std::string> headings;  // outside the blocks
};

// Fences as Markdown reads them: a run of three or more backticks opens a block, and only a run of the
// same character at least as long closes it, so a block may show another.
Page parsed(const fs::path& path) {
    static const std::regex marker("<!-- stderr: (.*) -->");
    std::vector<std::string> lines;
    std::istringstream in(fileText(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    Page page;
    std::size_t fence = 0;  // length of the open fence; 0 outside a block
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t ticks = std::min(line.find_first_not_of('`'), line.size());
        if (fence == 0 && ticks >= 3) {
            fence = ticks;
            Block block{line.substr(ticks), "", "", i + 1};
            std::smatch match;
            for (std::size_t j = i; j > 0 && std::regex_match(lines[j - 1], match, marker); --j) {
                block.expectedErrors.insert(0, match[1].str() + "\n");
            }
            page.blocks.push_back(block);
        } else if (fence != 0 && ticks >= fence && line.find_first_not_of(" \t", ticks) == std::string::npos) {
            fence = 0;
        } else if (fence != 0) {
            page.blocks.back().body += line + "\n";
        } else if (line.rfind('#', 0) == 0) {
            page.headings.push_back(line);
        }
    }
    return page;
}

// The anchor a heading gets: lower case, the words joined by hyphens, other signs dropped.
std::string anchorOf(const std::string& heading) {
    std::string anchor;
    for (const char c : heading.substr(heading.find_first_not_of('#'))) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') {
            anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (c == ' ') {
            anchor += '-';
        }
    }
    return anchor.substr(anchor.find_first_not_of('-'));
}

}  // namespace

// Each xml block reads as the body of a cfg.xml without a word on standard error, unless comments before it
// give the words it must put there (docs/cfg-today.xml is a row of ConfigFile's table).
TEST(Docs, EverySnippetReadsAsItSays) {
    std::size_t snippets = 0;
    for (const fs::path& page : pages()) {
        for (const Block& block : parsed(page).blocks) {
            if (block.info != "xml") continue;
            ++snippets;
            const TempDir dir("docs");  // the block as the whole of a cfg.xml
            std::ofstream(dir.path / "cfg.xml", std::ios::binary) << "<Stintkeeper>" + block.body + "</Stintkeeper>\n";
            Config config;
            transcript::Recorder console;
            readConfigFile((dir.path / "cfg.xml").c_str(), config, console);
            EXPECT_EQ(console.errors, block.expectedErrors) << page.filename() << " line " << block.line;
        }
    }
    EXPECT_GE(snippets, 5u);
}

TEST(Docs, EveryScriptNamedExists) {
    static const std::regex script(R"(scripts/[A-Za-z0-9_./-]*[A-Za-z0-9_])");
    for (const fs::path& page : pages()) {
        const std::string text = fileText(page);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), script); it != std::sregex_iterator(); ++it) {
            EXPECT_TRUE(fs::is_regular_file(kSource / it->str())) << page.filename() << ": " << it->str();
        }
    }
}

// Relative links and pictures lead to a file of the repository, and a #part of a page to one of its headings.
TEST(Docs, EveryRelativeLinkLeadsSomewhere) {
    static const std::regex link(R"(\]\(([^)\s]+)\))");
    std::size_t links = 0;
    for (const fs::path& page : pages()) {
        const std::string text = fileText(page);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), link); it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[1].str();
            if (target.find("://") != std::string::npos) continue;
            ++links;
            const std::size_t hash = target.find('#');
            const fs::path file = hash == 0 ? page : page.parent_path() / target.substr(0, hash);
            ASSERT_TRUE(fs::is_regular_file(file)) << page.filename() << ": " << target;
            if (hash != std::string::npos) {
                const std::vector<std::string> headings = parsed(file).headings;
                EXPECT_TRUE(std::any_of(headings.begin(), headings.end(),
                                        [&](const std::string& h) { return anchorOf(h) == target.substr(hash + 1); }))
                    << page.filename() << ": " << target;
            }
        }
    }
    EXPECT_GE(links, 20u);
}
