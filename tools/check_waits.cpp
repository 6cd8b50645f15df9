// check_waits SRC: fails when a coroutine in SRC/app that holds a change (it begins one, or is
// handed one) waits for anything but through the change, or when a coroutine that begins a
// change is run other than through ChangeRunner::untilGone().
//
// A change's coroutine may resume after the model has gone; Change::wait() ends it there
// instead. A plain co_await would let the next line touch a destroyed model, and nothing at run
// time shows it until a window closes mid-change. The rule is checked on the text, which the
// project's style keeps regular: one definition per function, its body in braces.
//
// Allowed after co_await: `change.wait(…)`, `change->wait(…)`, or a call that is handed the
// change (a step of the change, itself held to the same rule).
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "code_text.h"

namespace fs = std::filesystem;

namespace {

struct Definition
{
    std::string file; // relative to SRC
    std::string name; // as written: AppModel::install
    std::string parameters;
    std::string body;
};

// From an opening bracket to its partner; npos when unbalanced.
size_t closing(const std::string &text, size_t open)
{
    const char in = text[open], out = in == '(' ? ')' : '}';
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == in)
            ++depth;
        else if (text[i] == out && --depth == 0)
            return i;
    }
    return std::string::npos;
}

// The functions defined in one file's code, namespaces looked into, classes and the like skipped.
void collect(const std::string &code, const std::string &file, std::vector<Definition> &out)
{
    size_t statement = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == ';' || c == '}') {
            statement = i + 1;
            continue;
        }
        if (c != '{')
            continue;
        const std::string head = CodeText::trim(code.substr(statement, i - statement));
        const size_t end = closing(code, i);
        if (end == std::string::npos)
            return;
        if (head.rfind("namespace", 0) == 0) {
            statement = i + 1; // its contents are read as the file's own
            continue;
        }
        const size_t open = head.find('(');
        if (open != std::string::npos && head.find('=') == std::string::npos) {
            size_t start = open;
            while (start > 0
                   && (std::isalnum(static_cast<unsigned char>(head[start - 1])) || head[start - 1] == '_'
                       || head[start - 1] == ':' || head[start - 1] == '~'))
                --start;
            const size_t paramsEnd = closing(head, open);
            out.push_back({file, head.substr(start, open - start),
                           head.substr(open + 1, paramsEnd == std::string::npos ? 0 : paramsEnd - open - 1),
                           code.substr(i + 1, end - i - 1)});
        }
        i = end;
        statement = end + 1;
    }
}

std::string unqualified(const std::string &name)
{
    const size_t colons = name.rfind("::");
    return colons == std::string::npos ? name : name.substr(colons + 2);
}

std::string squeezed(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    text.erase(std::unique(text.begin(), text.end(), [](char a, char b) { return a == ' ' && b == ' '; }), text.end());
    return CodeText::trim(text);
}

} // namespace

int main(int argc, char **argv)
{
    const std::optional<fs::path> given = CodeText::sourceArgument(argc, argv, "check-waits", "app");
    if (!given)
        return 2;
    const fs::path src = *given;
    std::vector<Definition> definitions;
    std::string everything; // every file's code, for the calls
    for (const fs::path &file : CodeText::filesUnder(src / "app")) {
        if (file.extension() != ".cpp")
            continue;
        const std::string code = CodeText::codeOnly(CodeText::readFile(file));
        collect(code, fs::relative(file, src).generic_string(), definitions);
        everything += code;
    }

    const std::regex handed(R"(\bChange\b)");
    const std::regex begins(R"(\bbeginChange\s*\(|\bm_changes\s*\.\s*begin\s*\()");
    const std::regex throughChange(R"(^\s*change\s*(\.|->)\s*wait\s*\()");
    const std::regex call(R"(^\s*[A-Za-z_][A-Za-z_0-9:]*\s*\()");
    const std::regex namesChange(R"(\bchange\b)");
    int problems = 0;
    size_t checked = 0;
    for (const Definition &definition : definitions) {
        const bool coroutine = std::regex_search(definition.body, std::regex(R"(\bco_(await|return)\b)"));
        const bool begun = std::regex_search(definition.body, begins);
        if (!coroutine || (!begun && !std::regex_search(definition.parameters, handed)))
            continue;
        ++checked;
        for (size_t at = definition.body.find("co_await"); at != std::string::npos;
             at = definition.body.find("co_await", at + 1)) {
            const std::string rest = definition.body.substr(at + 8);
            if (std::regex_search(rest, throughChange))
                continue;
            std::smatch called;
            if (std::regex_search(rest, called, call)) {
                const size_t open = size_t(called.length(0)) - 1;
                const size_t close = closing(rest, open);
                if (close != std::string::npos && std::regex_search(rest.substr(open, close - open), namesChange))
                    continue; // a step of the change, handed it
            }
            const size_t statementEnd = rest.find_first_of(";{");
            std::cerr << "check-waits: " << definition.file << ": " << definition.name
                      << " waits outside its change: co_await " << squeezed(rest.substr(0, statementEnd)) << "\n";
            ++problems;
        }
        if (!begun)
            continue;
        // Begun here: run only through untilGone(), which ends it quietly once its owner has gone.
        const std::string name = unqualified(definition.name);
        const std::regex calls("\\b" + name + "\\s*\\(");
        const std::regex wrapped("untilGone\\s*\\(\\s*" + name + "\\s*\\(");
        const auto all
            = std::distance(std::sregex_iterator(everything.begin(), everything.end(), calls), std::sregex_iterator());
        const auto run = std::distance(std::sregex_iterator(everything.begin(), everything.end(), wrapped),
                                       std::sregex_iterator());
        // Every mention but the definition's own is a call that must be wrapped.
        if (run == 0 || all - 1 != run) {
            std::cerr << "check-waits: " << definition.file << ": " << definition.name
                      << " begins a change but is run without ChangeRunner::untilGone()\n";
            ++problems;
        }
    }
    if (problems == 0)
        std::cout << "check-waits: " << checked << " coroutines that hold a change, each waiting through it\n";
    return problems == 0 ? 0 : 1;
}
