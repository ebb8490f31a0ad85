// licencegen: builds the licence page's text at build time from the Debian
// copyright files of the libraries and the typeface the program is made with.
//
//   licencegen OUTPUT.cpp "TITLE=COPYRIGHT_FILE" ...
//
// For each argument, in order, it reads the machine-readable copyright file
// (/usr/share/doc/PACKAGE/copyright), takes the paragraph that covers the
// upstream files ("Files: *"): its copyright lines and its licence; finds the
// licence's text in the file (or in /usr/share/common-licenses when the file
// refers there) and writes it as mark-up of the program's text blocks: the
// title as a heading, the copyright lines, a line naming the licence with a
// link to its text on the web, and the licence text one paragraph per line.
// A licence text already written out in full for an earlier title is not
// repeated; that title's entry refers to it instead.
//
// The result is one C++ string constant, THIRD_PARTY_LICENCES.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "licencegen: %s\n", message.c_str());
    std::exit(1);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// One field of a copyright-file paragraph: the text after "Name:" on its first
// line, and its continuation lines (leading blank removed, "." for an empty line).
struct Field {
    std::string first;
    std::vector<std::string> more;
};
using Paragraph = std::map<std::string, Field>;

std::vector<Paragraph> parseParagraphs(const std::string& text) {
    std::vector<Paragraph> out;
    Paragraph current;
    std::string lastName;
    std::istringstream in(text);
    std::string line;
    auto flush = [&] {
        if (!current.empty()) out.push_back(current);
        current.clear();
        lastName.clear();
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trim(line).empty()) {
            flush();
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t') {
            if (lastName.empty()) fail("continuation line without a field");
            std::string body = line.substr(1);
            if (trim(body) == ".") body.clear();
            current[lastName].more.push_back(body);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) fail("malformed line: " + line);
        lastName = lower(trim(line.substr(0, colon)));
        current[lastName].first = trim(line.substr(colon + 1));
    }
    flush();
    return out;
}

// Latin letters with marks as their plain letters: the display font holds
// printable ASCII only.
std::string toAscii(const std::string& s) {
    static const char* const LATIN1 =  // U+00C0 .. U+00FF
        "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\t') {
            out += ' ';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            ++i;
            if (cp >= 0xC0 && cp <= 0xFF) {
                if (cp == 0xC6) out += "AE";
                else if (cp == 0xE6) out += "ae";
                else if (cp == 0xDF) out += "ss";
                else out += LATIN1[cp - 0xC0];
            } else if (cp == 0xA9) {
                out += "(c)";
            } else {
                out += '?';
            }
        } else {
            // Longer sequences: quotation marks and dashes, else a question mark.
            unsigned cp = 0;
            int extra = (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
            cp = c & (extra == 2 ? 0x0Fu : 0x07u);
            for (int k = 0; k < extra && i + 1 < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[++i]) & 0x3Fu);
            if (cp == 0x2018 || cp == 0x2019) out += '\'';
            else if (cp == 0x201C || cp == 0x201D) out += '"';
            else if (cp == 0x2013 || cp == 0x2014) out += '-';
            else out += '?';
        }
    }
    return out;
}

// A vertical bar starts a mark-up code; a bar followed by a bar draws one.
std::string escapeBars(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '|') out += '|';
    }
    return out;
}

// Lines to paragraphs: lines between empty lines are joined with single spaces.
std::vector<std::string> paragraphsOf(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    std::string current;
    for (const std::string& raw : lines) {
        const std::string line = trim(raw);
        if (line.empty()) {
            if (!current.empty()) out.push_back(current);
            current.clear();
            continue;
        }
        if (!current.empty()) current += ' ';
        current += line;
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

// The SPDX identifier of a Debian licence name, for the link to its text.
struct KnownLicence {
    const char* debianName;  // lower case
    const char* title;
    const char* spdx;
};
constexpr KnownLicence KNOWN[] = {
    {"expat", "MIT License", "MIT"},
    {"mit", "MIT License", "MIT"},
    {"zlib", "zlib/libpng License", "Zlib"},
    {"bsd-2-clause", "BSD 2-Clause License", "BSD-2-Clause"},
    {"apache-2.0", "Apache License 2.0", "Apache-2.0"},
};

struct Licence {
    std::string name;  // as the copyright file names it
    const KnownLicence* known = nullptr;
    std::vector<std::string> paragraphs;
};

Licence findLicence(const std::vector<Paragraph>& paragraphs, const Paragraph& files, const std::string& path) {
    Licence lic;
    const Field& field = files.at("license");
    lic.name = field.first;
    for (const KnownLicence& k : KNOWN)
        if (lower(lic.name) == k.debianName) lic.known = &k;
    if (lic.known == nullptr) fail(path + ": licence '" + lic.name + "' is not one the program knows how to show");

    std::vector<std::string> text = field.more;
    std::string reference;
    if (text.empty()) {
        for (const Paragraph& p : paragraphs) {
            if (p.count("files") != 0 || p.count("license") == 0) continue;
            if (lower(p.at("license").first) != lower(lic.name)) continue;
            // The file's header paragraph may name the licence without its text.
            if (p.at("license").more.empty() && p.count("license-reference") == 0) continue;
            text = p.at("license").more;
            if (p.count("license-reference") != 0) reference = p.at("license-reference").first;
            break;
        }
    }
    // "On Debian systems, the full ... text can be found at /usr/share/common-licenses/X."
    if (reference.empty()) {
        for (const std::string& line : text) {
            const size_t at = line.find("/usr/share/common-licenses/");
            if (at == std::string::npos) continue;
            size_t end = at;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
            reference = line.substr(at, end - at);
            while (!reference.empty() && reference.back() == '.') reference.pop_back();
        }
    }
    if (!reference.empty()) text = splitLines(readFile(reference));
    lic.paragraphs = paragraphsOf(text);
    if (lic.paragraphs.empty()) fail(path + ": no text for licence '" + lic.name + "'");
    return lic;
}

std::string cString(const std::string& s) {
    std::string out = "    \"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n\"\n    \"";
        } else {
            out += c;
        }
    }
    out += "\"";
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) fail("usage: licencegen OUTPUT.cpp TITLE=COPYRIGHT_FILE...");
    std::string markup;
    std::map<std::string, std::string> shownUnder;  // licence text already written -> title
    for (int a = 2; a < argc; ++a) {
        const std::string arg = argv[a];
        const size_t eq = arg.find('=');
        if (eq == std::string::npos) fail("argument '" + arg + "' is not TITLE=FILE");
        const std::string title = arg.substr(0, eq), path = arg.substr(eq + 1);
        const std::vector<Paragraph> paragraphs = parseParagraphs(readFile(path));
        const Paragraph* files = nullptr;
        for (const Paragraph& p : paragraphs)
            if (p.count("files") != 0 && trim(p.at("files").first) == "*") files = &p;
        if (files == nullptr || files->count("license") == 0) fail(path + ": no licence for the upstream files");
        const Licence lic = findLicence(paragraphs, *files, path);

        markup += "|i0|#4" + escapeBars(title) + "\n";
        std::vector<std::string> holders;
        if (files->count("copyright") != 0) {
            const Field& c = files->at("copyright");
            if (!trim(c.first).empty()) holders.push_back(trim(c.first));
            for (const std::string& line : c.more)
                if (!trim(line).empty()) holders.push_back(trim(line));
        }
        for (const std::string& h : holders) markup += "|i4Copyright " + escapeBars(toAscii(h)) + "\n";
        markup += "|i4" + std::string(lic.known->title) + ": |G" + lic.known->spdx + "|E\n\n";

        std::string body;
        for (const std::string& p : lic.paragraphs) body += "|i4" + escapeBars(toAscii(p)) + "\n\n";
        const auto seen = shownUnder.find(body);
        if (seen != shownUnder.end()) {
            markup += "|i4The text of the " + std::string(lic.known->title) + " is given above, under " +
                      seen->second + ".\n\n";
        } else {
            shownUnder.emplace(body, title);
            markup += body;
        }
    }

    std::string source =
        "// Generated at build time by tools/licencegen from the Debian copyright files. Do not edit.\n"
        "extern const char THIRD_PARTY_LICENCES[];\n"
        "const char THIRD_PARTY_LICENCES[] =\n";
    source += cString(markup) + ";\n";
    std::ofstream out(argv[1], std::ios::binary);
    out << source;
    if (!out) fail(std::string("cannot write ") + argv[1]);
    return 0;
}
