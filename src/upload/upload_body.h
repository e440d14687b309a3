#pragma once
// The URL-encoded form that carries one satellite frame to a telemetry server.
// Values go in as they stand except for the few characters a form parser would
// misread ("&", "=", "+", "%", "#", ";", control and non-ASCII bytes), which are
// percent-encoded: the body of an ordinary callsign is what servers always got.

#include <string>
#include <string_view>

#include "base/configuration.h"
#include "base/utc_time.h"

namespace varne4 {

// noradID=..&source=..&timestamp=..&frame=..&locator=longLat&longitude=..&latitude=..&tncPort=0
// `hexText` is the frame's hex text (pairs each followed by a blank); the frame
// field drops the trailing blank, or all blanks when the configuration asks for it.
std::string BuildUploadBody(std::string_view hexText, const Configuration& config, const DateTime& utc);

} // namespace varne4
