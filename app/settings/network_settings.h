// Where the program's online services live and how it introduces itself.
//
// Each base address comes from an environment variable when it is set (the
// tests point the program at a server of their own that way), else from the
// [Network] section of "set.ini", else from the built-in default.
#pragma once

#include <QString>

#include "app/version.h"

// The running version as the update server writes versions: major x 10 + minor.
inline constexpr int kRunningVersionNumber = kVersionMajor * 10 + kVersionMinor;
QString ProductVersionText();  // "2.3"

// The music database, without a trailing "/". VELTRANO_MUSICBRAINZ_URL, else
// [Network] MusicBrainzUrl, else the public service.
QString MusicBrainzBaseUrl();
// The cover archive of the music database, without a trailing "/".
// VELTRANO_COVERART_URL, else [Network] CoverArtUrl, else the public archive.
QString CoverArtArchiveBaseUrl();
// The maker's update server, without a trailing "/". VELTRANO_UPDATE_URL, else
// [Network] UpdateUrl, else the maker's web site.
QString UpdateServerBaseUrl();
// The maker's web site (opened when a download fails).
QString WebSiteUrl();

// "Veltrano/<version> ( <contact address> )": the identity every request to
// the music database carries; the service refuses anonymous or generic clients.
QString ApplicationUserAgent();
