#include "CNumericLocale.hxx"

namespace tessaly {

namespace {
// Used when a locale derived from the thread's own cannot be made (out of memory): everything
// "C" is a little more than needed, and still right for numbers.
locale_t allC() {
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}
} // namespace

CNumericLocale::CNumericLocale() {
    // Keep the thread's other categories (text encoding, messages); replace only numbers.
    locale_t base = ::duplocale(::uselocale(nullptr));
    if (base) {
        own_ = ::newlocale(LC_NUMERIC_MASK, "C", base);
        if (!own_) {
            ::freelocale(base);
        }
    }
    locale_t use = own_ ? own_ : allC();
    if (use) {
        previous_ = ::uselocale(use);
    }
}

CNumericLocale::~CNumericLocale() {
    if (previous_) {
        ::uselocale(previous_);
    }
    if (own_) {
        ::freelocale(own_);
    }
}

} // namespace tessaly
