// What the diagnostics log must never hold: the value of a Digest `response`
// parameter (it lets anyone who reads it try passwords offline) and the
// passwords themselves. Both become ***.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orb {

inline constexpr std::string_view kMaskText = "***";

// `input` with every occurrence of a non-empty secret replaced by *** (the
// longest secrets first, so that a secret that begins another hides all of
// it), then the value of every `response=` parameter (any letter case, spaces
// allowed around "=", quoted or a bare token) replaced by *** ("response=\"***\"").
std::string maskSecrets(std::string_view input, const std::vector<std::string>& secrets);

}  // namespace orb
