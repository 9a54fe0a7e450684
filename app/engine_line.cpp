#include "engine_line.h"

#include "base/ascii.h"

#include <algorithm>
#include <cctype>

namespace app {
namespace {

constexpr std::string_view kPostWord = "POST";
constexpr size_t kGetWordLength = 3;

// Replaces the first occurrence of the placeholder in text by value.
void replaceFirst(std::string& text, std::string_view placeholder, std::string_view value)
{
    size_t at = text.find(placeholder);
    if (at != std::string::npos)
        text.replace(at, placeholder.size(), value);
}

bool startsWithPost(std::string_view line)
{
    if (line.size() < kPostWord.size())
        return false;
    return base::equalsIgnoreCase(line.substr(0, kPostWord.size()), kPostWord);
}

} // namespace

std::string procesa(std::string_view line, std::string_view page, std::string_view email,
                    std::string_view name)
{
    std::string result(line);
    replaceFirst(result, kUrlPlaceholder, page);
    replaceFirst(result, kEmailPlaceholder, email);
    replaceFirst(result, kNamePlaceholder, name);
    return result;
}

std::string procesa(std::string_view line, std::string_view page, std::string_view email,
                    std::string_view name, std::string_view key)
{
    std::string result = procesa(line, page, email, name);
    replaceFirst(result, kKeyPlaceholder, key);
    return result;
}

std::string_view trimEngineLine(std::string_view line)
{
    constexpr std::string_view kBlanks = " \t";
    const size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = line.find_last_not_of(kBlanks);
    return line.substr(first, last - first + 1);
}

EngineRequest splitEngineLine(std::string_view line)
{
    const std::string_view expanded = trimEngineLine(line);
    EngineRequest request;
    if (startsWithPost(expanded)) {
        request.method = HttpMethod::Post;
        request.url = std::string(expanded.substr(kPostWord.size()));
        size_t query = request.url.find('?');
        request.body = query == std::string::npos ? request.url : request.url.substr(query + 1);
        return request;
    }
    request.method = HttpMethod::Get;
    if (expanded.size() > kGetWordLength)
        request.url = std::string(expanded.substr(kGetWordLength));
    return request;
}

bool isBlankEngineLine(std::string_view line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

} // namespace app
