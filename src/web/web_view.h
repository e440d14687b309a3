#pragma once
// The web view as the station's owner starts it, headless or with windows alike.

#include <memory>

#include "web/web_server.h"

namespace varne4 {
class Station;
}

namespace varne4::web {

// Starts the web view the station's configuration asks for (WEB), once the station
// has started; null when it asks for none or the address cannot be had. Either
// way the status log says what became of it.
std::unique_ptr<WebServer> startWebView(Station& station, const WebLimits& limits = {});

} // namespace varne4::web
