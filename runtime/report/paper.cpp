#include "runtime/report/paper.hpp"

#include <langinfo.h>
#include <locale.h>

#include <cstdint>

namespace zelt::runtime {

Paper LocalePaper() {
    // A locale of its own, so that the process's locale is left alone.
    locale_t locale = newlocale(LC_PAPER_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return Paper::A4;
    // The C library answers these two with the number itself, in millimetres.
    const auto height = reinterpret_cast<std::intptr_t>(nl_langinfo_l(_NL_PAPER_HEIGHT, locale));
    const auto width = reinterpret_cast<std::intptr_t>(nl_langinfo_l(_NL_PAPER_WIDTH, locale));
    freelocale(locale);
    return height == 279 && width == 216 ? Paper::Letter : Paper::A4;
}

Paper ResolvePaper(Paper paper) {
    return paper == Paper::Locale ? LocalePaper() : paper;
}

PaperSize SizeOf(Paper paper) {
    if (ResolvePaper(paper) == Paper::Letter) return {612.0, 792.0};
    return {210.0 * kPointsPerMm, 297.0 * kPointsPerMm};
}

}  // namespace zelt::runtime
