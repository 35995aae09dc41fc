// The locale every path of the program runs in, set once at start-up before anything
// converts text: host names from the network, credentials and the files the program
// writes go through the locale's character set.
#pragma once

namespace tessvale {

// Takes the locale from the environment (LC_ALL, LC_CTYPE, LANG). When that gives no
// UTF-8 character set (an unset or "C" locale, as under cron, or a name the system
// does not know), the character type becomes C.UTF-8, as the window's toolkit does
// too, so that no character turns into '?'. True when the character set is UTF-8
// afterwards.
bool UseUserLocale();

} // namespace tessvale
