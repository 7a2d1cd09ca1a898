#include "stamp/form.h"

#include "win/failure.h"

namespace zarn {

namespace {

class TFormReader {
public:
    TFormReader(std::string_view bytes, const std::u16string& corruptText) : bytes_(bytes), corruptText_(corruptText) {}

    TFormDescription Read() {
        if (Take(4) != "TPF0") Fail();
        TFormDescription form;
        form.className = Name();
        form.componentName = Name();
        if (form.className.empty() || form.componentName.empty()) Fail();
        for (std::string name = Name(); !name.empty(); name = Name()) form.properties.push_back({name, Value()});
        if (Byte() != 0 || pos_ != bytes_.size()) Fail();  // no child components, nothing after
        return form;
    }

private:
    [[noreturn]] void Fail() const { throw TFailure(corruptText_); }

    std::string_view Take(std::size_t count) {
        if (bytes_.size() - pos_ < count) Fail();
        const std::string_view taken = bytes_.substr(pos_, count);
        pos_ += count;
        return taken;
    }

    unsigned Byte() { return static_cast<unsigned char>(Take(1)[0]); }

    std::uint32_t Unsigned(std::size_t count) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return value;
    }

    std::string Name() {
        const std::string_view name = Take(Byte());
        for (char c : name) {
            if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) Fail();
        }
        return std::string(name);
    }

    TFormValue Value() {
        switch (Byte()) {
        case 0x01: return static_cast<std::int32_t>(Unsigned(4));
        case 0x02: {
            std::u16string text(Unsigned(2), u'\0');
            for (char16_t& unit : text) unit = static_cast<char16_t>(Unsigned(2));
            return text;
        }
        case 0x03: {
            std::string name = Name();
            if (name.empty()) Fail();
            return TIdentifier{name};
        }
        case 0x04: return false;
        case 0x05: return true;
        case 0x06: {
            TSetValue set;
            for (std::string name = Name(); !name.empty(); name = Name()) set.push_back(name);
            return set;
        }
        default: Fail();
        }
    }

    std::string_view bytes_;
    const std::u16string& corruptText_;
    std::size_t pos_ = 0;
};

}  // namespace

TFormDescription ReadForm(std::string_view bytes, const std::u16string& corruptText) {
    return TFormReader(bytes, corruptText).Read();
}

}  // namespace zarn
