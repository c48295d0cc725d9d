#pragma once

namespace tarvelportal {

// Makes the app's bundled files (page bridge, style) available; once per process.
void registerPortalResources();

}  // namespace tarvelportal
