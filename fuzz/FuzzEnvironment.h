#pragma once

// Process set-up shared by the task-file fuzz targets, done once before the first input.
namespace FuzzEnvironment {

// Pins the local zone (glibc then stops checking /etc/localtime on every time conversion, which
// took half of each run) and freezes the module's clock at the moment of the call, so that a
// run crossing midnight does not see two different days.
void setUp();

} // namespace FuzzEnvironment
