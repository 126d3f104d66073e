#include "ui/ProductSite.h"

const char* const kProductWebSite = "https://www.norvane.com/";

const char* const kUpdateServer = "https://update.norvane.com";
const char* const kUpdateLogin = "norvane-update";
const char* const kUpdatePassword = "r7Kq-Vw3t-Lm9z";
