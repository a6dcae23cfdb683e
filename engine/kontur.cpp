// Placeholder: replaced by the contour engine.
#include "kontur.h"

namespace orvik {
KONTUR Kontur;
void Init(KONTUR&, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
          std::int32_t, float, float, float, float, float, float, float, float, float,
          std::int32_t) {}
void BindImage(const ImageBinding&) {}
int Sample(std::int32_t, std::int32_t) { return 0; }
void EdgeForce(const KONTUR&, std::int32_t, std::int32_t, float& fx, float& fy) { fx = fy = 0; }
void StepCenterPoint(KONTUR&) {}
void StepStandard(KONTUR&) {}
void StepBalloon(KONTUR&) {}
void StepOpened(KONTUR&) {}
void SetRunHooks(RunHooks) {}
void Run(KONTUR&) {}
void Draw(const KONTUR&, ContourCanvas&) {}
} // namespace orvik
