#include "DorvexCore/SecureField.h"

#include <array>

namespace dorvex::SecureField {

bool is(const std::optional<std::string>& role, const std::optional<std::string>& subrole) {
    return role == axRole || subrole == axRole;
}

bool isTextRole(std::string_view role) {
    static constexpr std::array<std::string_view, 5> textRoles = {
        "AXTextField", "AXTextArea", "AXComboBox", "AXUnknown", "AXSearchField"};
    return std::find(textRoles.begin(), textRoles.end(), role) != textRoles.end();
}

Json valueFields(Verdict verdict, const std::function<std::optional<std::string>()>& readValue) {
    Json fields = Json::object();
    switch (verdict) {
    case Verdict::secure:
        fields["secure"] = true;
        break;
    case Verdict::readable: {
        std::optional<std::string> preview = readValue();
        fields["valuePreview"] = preview ? Json(*preview) : Json(nullptr);
        break;
    }
    case Verdict::unknown:
        break;
    }
    return fields;
}

} // namespace dorvex::SecureField
