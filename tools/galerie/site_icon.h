// The program's icon, built into merlon-galerie, which the site shows as its
// own (favicon.png), so that it needs no file from elsewhere.
#pragma once

#include <string_view>

std::string_view SiteIcon();
