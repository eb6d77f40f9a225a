// Switches the calling thread to the "C" numeric locale while it lives.
//
// libplist reads reals with the C library, which follows the process's numeric locale: under a
// decimal-comma locale "0.25" reads as 0, and a store that then writes the file back destroys
// the user's values. Wrap every libplist parse and serialisation in one of these. It changes
// only this thread's locale (uselocale), so other threads and the caller's own setting are left
// alone, and the previous locale is back when it ends.
#pragma once

#include <locale.h>

namespace tessaly {

class CNumericLocale {
public:
    CNumericLocale();
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t previous_ = nullptr;
    locale_t own_ = nullptr; // freed at the end; null when a shared fallback is in use
};

} // namespace tessaly
