#pragma once

// What the source checks share: a file's text, and its code with comments, literals and
// preprocessor lines taken out, so that what they look for is never found in a comment.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace CodeText {

// A check's one argument, the source folder, which must hold `folder`; none, with the reason
// printed, when it is missing or doesn't.
inline std::optional<std::filesystem::path> sourceArgument(int argc, char **argv, const std::string &check,
                                                           const std::string &folder)
{
    if (argc != 2) {
        std::cerr << "usage: " << check << " SRC\n";
        return std::nullopt;
    }
    const std::filesystem::path src = argv[1];
    if (!std::filesystem::is_directory(src / folder)) {
        std::cerr << check << ": no " << folder << " folder in " << src << "\n";
        return std::nullopt;
    }
    return src;
}

// Every regular file under `root`, in the same order on every machine.
inline std::vector<std::filesystem::path> filesUnder(const std::filesystem::path &root)
{
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string trim(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

inline std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The code without comments, string and character literals (emptied) and preprocessor lines.
inline std::string codeOnly(const std::string &text)
{
    std::string out;
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (lineStart && c == '#') {
            while (i < text.size() && text[i] != '\n')
                i += (text[i] == '\\' && i + 1 < text.size()) ? 2 : 1;
            out += '\n';
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n')
                ++i;
            out += '\n';
            lineStart = true;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
            out += ' ';
            continue;
        }
        if (c == 'R' && i + 1 < text.size() && text[i + 1] == '"') {
            const size_t open = text.find('(', i);
            const std::string close = ")" + text.substr(i + 2, open - i - 2) + "\"";
            const size_t end = text.find(close, open);
            i = end == std::string::npos ? text.size() : end + close.size() - 1;
            out += "\"\"";
            continue;
        }
        if (c == '"' || c == '\'') {
            size_t j = i + 1;
            while (j < text.size() && text[j] != c)
                j += text[j] == '\\' ? 2 : 1;
            out += c;
            out += c;
            i = j;
            continue;
        }
        out += c;
        if (c == '\n')
            lineStart = true;
        else if (!std::isspace(static_cast<unsigned char>(c)))
            lineStart = false;
    }
    return out;
}

} // namespace CodeText
