// check_platform SRC: fails when a function declared in a platform header (src/platform/*.h),
// class members included, has no definition with the same full declaration (scope, name,
// parameter types, const, return type) in the files built on Linux or in those built on the
// Mac, naming the declaration, the system and what that system defines under the name instead.
//
// The Mac half can't be compiled on the Linux machines, so a Mac file whose definition drifted
// from its header (a renamed function, a changed parameter type) would first fail at the Mac's
// link step; this finds it here. It reads the code as text, which the project's own style makes
// regular enough: no macros around declarations, one declaration per statement.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "code_text.h"

namespace fs = std::filesystem;

namespace {

struct Function
{
    std::string key; // scope::name(types) const: what a declaration and its definition share
    std::string text; // the same with the return type in front, for messages
};

struct Found
{
    std::vector<Function> declared; // declarations that need a definition
    std::vector<Function> defined;
};

bool isIdentifierChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// One space between words and none around punctuation: "const QString &" -> "const QString&".
std::string squeeze(const std::string &text)
{
    std::string out;
    bool space = false;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = true;
            continue;
        }
        if (space && !out.empty() && isIdentifierChar(out.back()) && isIdentifierChar(c))
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// Splits at the top-level commas (outside <>, (), [] and {}).
std::vector<std::string> splitTopLevel(const std::string &text)
{
    std::vector<std::string> parts;
    std::string current;
    int depth = 0;
    for (const char c : text) {
        if (c == '<' || c == '(' || c == '[' || c == '{')
            ++depth;
        else if (c == '>' || c == ')' || c == ']' || c == '}')
            --depth;
        if (c == ',' && depth == 0) {
            parts.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    if (!CodeText::trim(current).empty())
        parts.push_back(current);
    return parts;
}

const std::set<std::string> builtinWords = {"int",      "long",   "short", "char",  "double",   "float", "bool",
                                            "unsigned", "signed", "void",  "const", "volatile", "auto"};

// Drops every "Scope::" of the function's own scopes from a type, so that a type written inside
// its namespace and one written outside it compare equal.
std::string unqualified(std::string type, const std::vector<std::string> &scopes)
{
    for (const std::string &scope : scopes) {
        const std::string prefix = scope + "::";
        for (size_t at = type.find(prefix); at != std::string::npos; at = type.find(prefix, at)) {
            if (at > 0 && (isIdentifierChar(type[at - 1]) || type[at - 1] == ':'))
                at += prefix.size();
            else
                type.erase(at, prefix.size());
        }
    }
    return type;
}

// A parameter's type: without its default value and its name.
std::string parameterType(std::string parameter, const std::vector<std::string> &scopes)
{
    int depth = 0;
    for (size_t i = 0; i < parameter.size(); ++i) {
        const char c = parameter[i];
        if (c == '<' || c == '(' || c == '[' || c == '{')
            ++depth;
        else if (c == '>' || c == ')' || c == ']' || c == '}')
            --depth;
        else if (c == '=' && depth == 0) {
            parameter.resize(i);
            break;
        }
    }
    std::string type = squeeze(CodeText::trim(parameter));
    size_t nameStart = type.size();
    while (nameStart > 0 && isIdentifierChar(type[nameStart - 1]))
        --nameStart;
    const std::string last = type.substr(nameStart);
    const bool hasTypeBefore = nameStart > 0 && type.find_first_not_of(" ") < nameStart;
    if (!last.empty() && hasTypeBefore && !builtinWords.count(last)
        && !(nameStart >= 2 && type.compare(nameStart - 2, 2, "::") == 0))
        type = CodeText::trim(type.substr(0, nameStart));
    return unqualified(squeeze(type), scopes);
}

// Words that say how a function is declared, not what it is.
std::string withoutSpecifiers(std::string text)
{
    static const std::vector<std::string> words
        = {"static", "inline",      "virtual", "explicit", "constexpr", "friend",
           "extern", "Q_INVOKABLE", "public:", "private:", "protected:"};
    for (bool changed = true; changed;) {
        changed = false;
        text = CodeText::trim(text);
        if (text.rfind("[[", 0) == 0) {
            text = text.substr(text.find("]]") + 2);
            changed = true;
            continue;
        }
        if (text.rfind("template", 0) == 0 && text.find('<') != std::string::npos) {
            int depth = 0;
            size_t i = text.find('<');
            for (; i < text.size(); ++i) {
                depth += text[i] == '<' ? 1 : text[i] == '>' ? -1 : 0;
                if (depth == 0)
                    break;
            }
            text = text.substr(i + 1);
            changed = true;
            continue;
        }
        // A Qt macro ahead of the statement (Q_OBJECT, Q_LOGGING_CATEGORY(…) without a ";").
        if (text.rfind("Q_", 0) == 0) {
            size_t end = 0;
            while (end < text.size() && isIdentifierChar(text[end]))
                ++end;
            size_t rest = text.find_first_not_of(" \t\r\n", end);
            if (rest != std::string::npos && text[rest] == '(') {
                int depth = 0;
                for (; rest < text.size(); ++rest) {
                    depth += text[rest] == '(' ? 1 : text[rest] == ')' ? -1 : 0;
                    if (depth == 0)
                        break;
                }
                end = rest + 1;
            }
            if (end < text.size() && !CodeText::trim(text.substr(end)).empty()) {
                text = text.substr(end);
                changed = true;
                continue;
            }
        }
        for (const std::string &word : words) {
            if (text.rfind(word, 0) == 0
                && (text.size() == word.size() || !isIdentifierChar(text[word.size()]) || word.back() == ':')) {
                text = text.substr(word.size());
                changed = true;
            }
        }
    }
    return text;
}

// The function a statement declares or defines, if it is one: the statement up to its "{" or
// ";", in the given scopes (namespaces and classes, outermost first).
std::optional<Function> functionOf(const std::string &statement, const std::vector<std::string> &scopes)
{
    const std::string text = withoutSpecifiers(statement);
    if (text.rfind("using", 0) == 0 || text.rfind("typedef", 0) == 0 || text.rfind("return", 0) == 0
        || text.rfind("static_assert", 0) == 0 || text.rfind("Q_", 0) == 0)
        return std::nullopt;
    // The parameter list: the first "(" outside template arguments, before any "=".
    int angle = 0;
    size_t open = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && text.compare(i, 2, "==") != 0 && text.rfind("operator", i) == std::string::npos)
            return std::nullopt; // a variable with an initialiser
        if (c == '<' && text.rfind("operator", i) == std::string::npos)
            ++angle;
        else if (c == '>' && angle > 0)
            --angle;
        else if (c == '(' && angle == 0) {
            open = i;
            break;
        }
    }
    if (open == std::string::npos)
        return std::nullopt;
    int depth = 0;
    size_t close = open;
    for (; close < text.size(); ++close) {
        depth += text[close] == '(' ? 1 : text[close] == ')' ? -1 : 0;
        if (depth == 0)
            break;
    }
    if (close >= text.size())
        return std::nullopt;
    // The name, qualified as written: back from "(" over identifiers, "::", "~" and operators.
    const std::string head = CodeText::trim(text.substr(0, open));
    size_t nameStart = head.size();
    const size_t operatorAt = head.rfind("operator");
    if (operatorAt != std::string::npos && (operatorAt == 0 || !isIdentifierChar(head[operatorAt - 1])))
        nameStart = operatorAt;
    while (nameStart > 0
           && (isIdentifierChar(head[nameStart - 1]) || head[nameStart - 1] == ':' || head[nameStart - 1] == '~'))
        --nameStart;
    const std::string name = squeeze(head.substr(nameStart));
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return std::nullopt;
    // The scopes the name is in: the enclosing ones plus any it names itself.
    std::vector<std::string> allScopes = scopes;
    std::string simple = name;
    for (size_t at; (at = simple.find("::")) != std::string::npos; simple = simple.substr(at + 2))
        allScopes.push_back(simple.substr(0, at));
    std::vector<std::string> types;
    for (const std::string &parameter : splitTopLevel(text.substr(open + 1, close - open - 1)))
        types.push_back(parameterType(parameter, allScopes));
    if (types.size() == 1 && types[0] == "void")
        types.clear();
    const std::string after = " " + squeeze(text.substr(close + 1)) + " ";
    const bool isConst = after.find(" const ") != std::string::npos || after.rfind(" const", 0) == 0;

    std::string key;
    for (const std::string &scope : allScopes)
        key += scope + "::";
    key += simple + "(";
    for (size_t i = 0; i < types.size(); ++i)
        key += (i ? ", " : "") + types[i];
    key += ")";
    if (isConst)
        key += " const";
    const std::string returnType = unqualified(squeeze(head.substr(0, nameStart)), allScopes);
    return Function{returnType + "|" + key, returnType.empty() ? key : returnType + " " + key};
}

// Walks one file's code, collecting declarations (";") and definitions ("{" then a body).
void scan(const std::string &code, Found &found)
{
    enum class Kind { scope, other };
    struct Level
    {
        Kind kind;
        std::string name; // empty for an anonymous namespace's level, which hides its functions
        bool named;
    };
    std::vector<Level> levels;
    std::string statement;
    auto currentScopes = [&]() -> std::optional<std::vector<std::string>> {
        std::vector<std::string> names;
        for (const Level &level : levels) {
            if (level.kind != Kind::scope || !level.named)
                return std::nullopt;
            if (!level.name.empty())
                names.push_back(level.name);
        }
        return names;
    };
    auto skipBlock = [&](size_t &i) {
        int depth = 0;
        for (; i < code.size(); ++i) {
            depth += code[i] == '{' ? 1 : code[i] == '}' ? -1 : 0;
            if (depth == 0)
                return;
        }
    };
    int parens = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '(')
            ++parens;
        else if (c == ')')
            --parens;
        if (c == ';' && parens == 0) {
            const std::string text = CodeText::trim(statement);
            statement.clear();
            const auto scopes = currentScopes();
            if (!scopes || text.empty() || text.rfind("class", 0) == 0 || text.rfind("struct", 0) == 0
                || text.rfind("friend", 0) == 0)
                continue;
            // "= default", "= delete" and pure virtual functions need no definition.
            const std::string squeezed = squeeze(text);
            const bool needsNone
                = squeezed.ends_with("=default") || squeezed.ends_with("=delete") || squeezed.ends_with("=0");
            std::string declaration = text;
            if (needsNone)
                declaration = text.substr(0, text.rfind('='));
            if (const auto function = functionOf(declaration, *scopes))
                (needsNone ? found.defined : found.declared).push_back(*function);
            continue;
        }
        if (c == '{') {
            const std::string text = CodeText::trim(statement);
            const std::string squeezed = squeeze(text);
            const bool initialiser = parens > 0 || squeezed.empty() || squeezed.back() == '=' || squeezed.back() == ','
                                     || squeezed.back() == '(' || squeezed.back() == '{' || squeezed.back() == '['
                                     || squeezed.back() == '<' || squeezed.back() == '>';
            std::string head = withoutSpecifiers(text);
            auto startsWith = [&](const char *word) {
                const std::string w = word;
                return head.rfind(w, 0) == 0 && (head.size() == w.size() || !isIdentifierChar(head[w.size()]));
            };
            if (startsWith("namespace")) {
                const std::string name = CodeText::trim(head.substr(9));
                levels.push_back({Kind::scope, name, !name.empty()});
                statement.clear();
                continue;
            }
            if (startsWith("class") || startsWith("struct") || startsWith("union")) {
                std::string rest = CodeText::trim(head.substr(head.find_first_of(" \t\n")));
                const size_t colon = rest.find(':');
                if (colon != std::string::npos && rest.compare(colon, 2, "::") != 0)
                    rest = rest.substr(0, colon);
                rest = CodeText::trim(rest);
                if (rest.ends_with(" final"))
                    rest = CodeText::trim(rest.substr(0, rest.size() - 6));
                const bool isEnumLike = startsWith("union");
                levels.push_back({isEnumLike ? Kind::other : Kind::scope, rest, !rest.empty()});
                statement.clear();
                continue;
            }
            if (startsWith("enum") || startsWith("extern")) {
                skipBlock(i);
                statement += " {}";
                continue;
            }
            const auto scopes = currentScopes();
            const auto function = initialiser ? std::nullopt : (scopes ? functionOf(text, *scopes) : std::nullopt);
            if (function) {
                found.defined.push_back(*function);
                skipBlock(i);
                statement.clear();
                continue;
            }
            // A brace initialiser, or a block this check doesn't look into: part of the statement.
            skipBlock(i);
            statement += " {}";
            continue;
        }
        if (c == '}') {
            if (!levels.empty())
                levels.pop_back();
            statement.clear();
            continue;
        }
        statement += c;
        // A class's access label ends nothing, but the statement starts after it.
        const std::string squeezed = squeeze(statement);
        if (squeezed == "public:" || squeezed == "private:" || squeezed == "protected:")
            statement.clear();
    }
}

Found scanFile(const fs::path &path)
{
    Found found;
    scan(CodeText::codeOnly(CodeText::readFile(path)), found);
    return found;
}

bool endsWith(const std::string &text, const std::string &suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::optional<fs::path> given = CodeText::sourceArgument(argc, argv, "check-platform", "platform");
    if (!given)
        return 2;
    const fs::path src = *given;
    // Definitions per system: a *_linux.cpp file is built only on Linux, *_mac.cpp and *_mac.mm
    // only on the Mac, every other .cpp on both, and headers count for both.
    std::map<std::string, std::multimap<std::string, std::string>> defined; // system -> name -> text
    std::vector<std::pair<fs::path, Found>> headers;
    for (const fs::path &file : CodeText::filesUnder(src)) {
        const std::string name = file.filename().string();
        const bool header = endsWith(name, ".h");
        if (!header && !endsWith(name, ".cpp") && !endsWith(name, ".mm"))
            continue;
        const Found found = scanFile(file);
        std::vector<std::string> systems;
        if (endsWith(name, "_linux.cpp"))
            systems = {"linux"};
        else if (endsWith(name, "_mac.cpp") || endsWith(name, "_mac.mm"))
            systems = {"mac"};
        else if (!endsWith(name, ".mm"))
            systems = {"linux", "mac"};
        for (const std::string &system : systems)
            for (const Function &function : found.defined)
                defined[system].emplace(function.key, function.text);
        if (header && file.parent_path().filename() == "platform")
            headers.emplace_back(file, found);
    }

    int problems = 0;
    size_t checked = 0;
    for (const auto &[header, found] : headers) {
        checked += found.declared.size();
        for (const Function &function : found.declared) {
            for (const std::string system : {"linux", "mac"}) {
                if (defined[system].count(function.key))
                    continue;
                std::cerr << "check-platform: " << fs::relative(header, src).generic_string() << " declares "
                          << function.text << ", which no file built on " << system << " defines";
                // What the system defines under the same name instead, the likely drift.
                const std::string name = function.key.substr(0, function.key.find('('));
                const std::string bare = name.substr(name.find('|') + 1);
                std::vector<std::string> near;
                for (const auto &[key, text] : defined[system])
                    if (key.substr(key.find('|') + 1).rfind(bare + "(", 0) == 0)
                        near.push_back(text);
                for (size_t i = 0; i < near.size(); ++i)
                    std::cerr << (i ? "; " : " (it defines ") << near[i];
                std::cerr << (near.empty() ? "" : ")") << "\n";
                ++problems;
            }
        }
    }
    if (problems == 0)
        std::cout << "check-platform: " << checked << " platform functions, each defined on both systems\n";
    return problems == 0 ? 0 : 1;
}
