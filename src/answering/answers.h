// Everything the ball can say, numbered 1 to 71.
#pragma once

#include <array>
#include <string_view>

constexpr int kAnswerCount = 71;

// Entry n is AnswerTexts[n - 1].
extern const std::array<std::string_view, kAnswerCount> AnswerTexts;
