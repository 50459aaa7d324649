#pragma once

namespace orb {

// The program's own module (HINSTANCE on Windows; unused elsewhere).
using InstanceHandle = void*;

}  // namespace orb
