#include "shared/SetupCatalogue.h"

namespace talvek {

QString paramCaptionText(int row)
{
    if (row < 0 || row >= int(kParamCatalogue.size()) || !kParamCatalogue[std::size_t(row)].caption)
        return {};
    QString caption = QString::fromLatin1(kParamCatalogue[std::size_t(row)].caption);
    caption.remove(QLatin1Char('&'));
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption;
}

QString paramRowName(int row)
{
    if (row >= 0 && row < int(kParamCatalogue.size()) && kParamCatalogue[std::size_t(row)].name)
        return QString::fromLatin1(kParamCatalogue[std::size_t(row)].name);
    return paramCaptionText(row);
}

} // namespace talvek
