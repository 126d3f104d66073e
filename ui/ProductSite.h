#pragma once
// Where the program reaches its maker: the product's web site (opened for
// help and to download a new version) and the update server with the
// account the update check logs in with. Kept together so that a move of
// the site changes one file.

// The product's web site, opened in the user's browser.
extern const char* const kProductWebSite;

// The update server: an address without a trailing slash, to which the
// check appends the path of the version file. https, so that the account
// never travels in clear.
extern const char* const kUpdateServer;

// The update server's account (HTTP Basic). Sent only to kUpdateServer's
// host, never written to a log, a trace or an error text.
extern const char* const kUpdateLogin;
extern const char* const kUpdatePassword;
