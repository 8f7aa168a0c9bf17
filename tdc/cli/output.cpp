#include "output.h"

#include <cmath>
#include <ostream>

namespace cli {

std::string dumpLine(const Json &doc)
{
    return doc.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void printLine(std::ostream &out, const Json &doc)
{
    out << dumpLine(doc) << "\n";
    out.flush();
}

Json number(double v)
{
    return std::isfinite(v) ? Json(v) : Json(nullptr);
}

Json versionJson(const TessaronVersion &v)
{
    return Json{{"major", v.major}, {"minor", v.minor}, {"patch", v.patch}};
}

} // namespace cli
