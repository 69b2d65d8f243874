#include "FuzzInvariants.h"

#include "Util.h"

#include <algorithm>
#include <cstdio>

namespace FuzzInvariants {

void require(bool holds, const char* invariant, const QString& context)
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant violated: %s\ncontext: %s\n", invariant, context.left(200).toUtf8().constData());
    __builtin_trap();
}

void checkRefusal(int lineNumber, const std::string& message, const QString& context)
{
    static const std::string open = Util::QStr2str(QStringLiteral("[行#"));
    static const std::string close = Util::QStr2str(QStringLiteral("导入失败] "));
    const std::string prefix = open + std::to_string(lineNumber) + close;
    require(message.compare(0, prefix.size(), prefix) == 0 && message.size() > prefix.size(),
            "message starts with the line's prefix", context);
    require(message.size() <= LongestMessage, "refused value shown cut", context);
    const bool controlFree = std::none_of(message.begin(), message.end(), [](char byte) {
        const auto value = static_cast<unsigned char>(byte);
        return value < 0x20 || value == 0x7F;
    });
    require(controlFree, "no raw control character in a message", context);
}

} // namespace FuzzInvariants
