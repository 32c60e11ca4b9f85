// What the report page carries inside it: the plotting library with its
// style sheet, and the page's own script and style sheet. The build turns
// the files into this data, so the program needs nothing beside it.
#pragma once

#include <string_view>

extern const std::string_view zvReportAssetUplotJs;
extern const std::string_view zvReportAssetUplotCss;
extern const std::string_view zvReportAssetPageJs;
extern const std::string_view zvReportAssetPageCss;
