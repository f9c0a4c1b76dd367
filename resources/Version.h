#pragma once
// The setup program's version: the one definition. The version resource, the dialog's title, the
// Programs and Features entry and the names of the distributed zips all take it from here (the
// resource's texts through the build's generated VersionText.h, the zips through the resource).
#define KORVEL_VERSION_MAJOR 2025
#define KORVEL_VERSION_MINOR 1
#define KORVEL_VERSION_PATCH 21
