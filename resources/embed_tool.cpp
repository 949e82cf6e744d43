// Build-time tool: turns the resource files into one C++ source of byte
// arrays, so the program reads nothing from disk at run time.
//   vcq_embed OUT.cpp --texts ui_texts.txt --strings strings.txt [--string ID=TEXT]...
//             --bin ID=FILE...
// --string sets one string table entry, over what --strings gave it.
// UI texts are stored the way the program expects them: UTF-16LE, a
// byte-order mark first and a NUL last.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool ReadFile(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// Lines "ID<TAB>TEXT"; '#' starts a comment line.
bool ReadTable(const std::string& path, std::map<int, std::string>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            std::fprintf(stderr, "%s:%d: missing tab\n", path.c_str(), lineNo);
            return false;
        }
        int id = std::stoi(line.substr(0, tab));
        if (!out.emplace(id, Unescape(line.substr(tab + 1))).second) {
            std::fprintf(stderr, "%s:%d: id %d twice\n", path.c_str(), lineNo, id);
            return false;
        }
    }
    return true;
}

void PutUnit(Bytes& out, uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
}

// UTF-8 to UTF-16LE with BOM and NUL.
bool ToStoredText(const std::string& s, Bytes& out) {
    PutUnit(out, 0xFEFF);
    for (size_t i = 0; i < s.size();) {
        uint8_t c = static_cast<uint8_t>(s[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c, extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F, extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F, extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07, extra = 3;
        } else {
            return false;
        }
        if (i + extra >= s.size() && extra > 0)
            return false;
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3F);
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            PutUnit(out, 0xD800 + (cp >> 10));
            PutUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
            PutUnit(out, cp);
        }
    }
    PutUnit(out, 0);
    return true;
}

void EmitArray(std::ostream& os, const std::string& name, const Bytes& b) {
    os << "alignas(2) const unsigned char " << name << "[] = {";
    for (size_t i = 0; i < b.size(); ++i) {
        if (i % 24 == 0)
            os << "\n";
        os << static_cast<unsigned>(b[i]) << ",";
    }
    if (b.empty())
        os << "0";
    os << "\n};\n";
}

std::string CString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\', out += c;
        } else if (c < 0x20 && c >= 0) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: vcq_embed OUT.cpp [--texts F] [--strings F] [--string ID=TEXT]... "
                     "[--bin ID=F]...\n");
        return 2;
    }
    std::map<int, Bytes> bins;
    std::map<int, std::string> strings;
    std::map<int, std::string> overrides;
    for (int i = 2; i < argc; ++i) {
        std::string opt = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vcq_embed: %s needs a value\n", opt.c_str());
            return 2;
        }
        std::string val = argv[++i];
        if (opt == "--texts") {
            std::map<int, std::string> texts;
            if (!ReadTable(val, texts))
                return 1;
            for (auto& [id, text] : texts) {
                Bytes b;
                if (!ToStoredText(text, b)) {
                    std::fprintf(stderr, "vcq_embed: text %d is not UTF-8\n", id);
                    return 1;
                }
                bins[id] = std::move(b);
            }
        } else if (opt == "--strings") {
            if (!ReadTable(val, strings))
                return 1;
        } else if (opt == "--string") {
            size_t eq = val.find('=');
            if (eq == 0 || eq == std::string::npos || val.find_first_not_of("0123456789") != eq) {
                std::fprintf(stderr, "vcq_embed: --string wants ID=TEXT, not %s\n", val.c_str());
                return 2;
            }
            overrides[std::stoi(val.substr(0, eq))] = val.substr(eq + 1);
        } else if (opt == "--bin") {
            size_t eq = val.find('=');
            Bytes b;
            if (eq == std::string::npos || !ReadFile(val.substr(eq + 1), b)) {
                std::fprintf(stderr, "vcq_embed: cannot read %s\n", val.c_str());
                return 1;
            }
            bins[std::stoi(val.substr(0, eq))] = std::move(b);
        } else {
            std::fprintf(stderr, "vcq_embed: unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    for (auto& [id, text] : overrides)
        strings[id] = text;
    std::ostringstream os;
    os << "// Generated by vcq_embed from the files in resources/. Do not edit.\n"
          "#include \"resources/embedded.h\"\n\nnamespace vcq::res {\nnamespace {\n\n";
    for (auto& [id, b] : bins)
        EmitArray(os, "r" + std::to_string(id), b);
    os << "\nconst BinResource kBins[] = {\n";
    for (auto& [id, b] : bins)
        os << "    {" << id << ", r" << id << ", " << b.size() << "},\n";
    os << "};\n\nconst StringEntry kStrings[] = {\n";
    for (auto& [id, s] : strings)
        os << "    {" << id << ", " << CString(s) << "},\n";
    if (strings.empty())
        os << "    {0, nullptr},\n";
    os << "};\n\n}  // namespace\n\n"
          "std::span<const BinResource> BinResources() { return kBins; }\n"
          "std::span<const StringEntry> StringTable() {\n"
          "    return {kStrings, "
       << strings.size() << "};\n}\n\n}  // namespace vcq::res\n";
    std::string text = os.str();
    // Leave an unchanged file alone so dependants are not rebuilt.
    Bytes old;
    if (ReadFile(argv[1], old) && std::string(old.begin(), old.end()) == text)
        return 0;
    std::ofstream out(argv[1], std::ios::binary);
    out << text;
    return out ? 0 : 1;
}
