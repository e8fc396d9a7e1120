#include "untrustedjson.h"

#include <json/reader.h>

#include <exception>
#include <memory>

bool UntrustedJson::parse(const char* begin, const char* end, int maxDepth, Json::Value& out)
{
    if (!begin || end < begin || std::size_t(end - begin) > kMaxBytes)
        return false;
    try {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = true;
        builder["stackLimit"] = maxDepth;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value parsed;
        if (!reader->parse(begin, end, &parsed, nullptr))
            return false;
        out.swap(parsed);
        return true;
    } catch (const std::exception&) {
        // Too deep nesting throws rather than failing; to the caller it is one more bad text.
        return false;
    }
}
