// Feeds arbitrary bytes to the survey CSV reader, then computes the trajectory of whatever it
// accepted by both methods: every computed value must be a number.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pore/survey_csv.h"
#include "pore/survey_table.h"
#include "pore/wellbore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pore::SurveyCsvResult parsed = pore::parse_survey_csv(bytes);
  pore::Wellbore wellbore;
  wellbore.set_points(parsed.points);
  pore::WellboreKrug targets;
  targets.circles[0] = {500, 50, 100, 45};
  for (auto method :
       {pore::WbCalcMethod::kAverageAngle, pore::WbCalcMethod::kTangentialCurvature}) {
    wellbore.calculate(method, targets);
    for (const auto& p : wellbore.points_copy()) {
      for (double v : pore::survey_row(p)) {
        if (std::isnan(v)) std::abort();
      }
    }
  }
  pore::format_survey_table(wellbore.points_copy());
  return 0;
}
