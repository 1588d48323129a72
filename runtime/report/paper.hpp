// Paper for printed reports: its size in points (1/72 inch) and the paper of the locale.
//
// Reports are laid out on A4 unless the user's locale prints on Letter (LC_PAPER, as the C
// library reports it for the environment's locale).
#pragma once

namespace zelt::runtime {

enum class Paper { Locale, A4, Letter };

struct PaperSize {
    double width_pt = 0;   // portrait width
    double height_pt = 0;  // portrait height
};

// The paper the locale prints on: Letter when its paper is 216 x 279 mm, otherwise A4.
Paper LocalePaper();
// Locale resolved; A4 and Letter as themselves.
Paper ResolvePaper(Paper paper);
PaperSize SizeOf(Paper paper);

inline constexpr double kPointsPerMm = 72.0 / 25.4;

}  // namespace zelt::runtime
