#pragma once

// The accessibility interface (ApplicationServices' AXUIElement calls), one operation per call.
#include "platform/types/AX.h"
#include "platform/types/Geometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dorvex::platform {

class Accessibility {
public:
    virtual ~Accessibility() = default;

    virtual Element createApplicationElement(int32_t pid) = 0;
    virtual Element createSystemWideElement() = 0;
    virtual AXElementResult copyElementAtPosition(const Element& root, Point point) = 0;
    virtual AXPidResult elementPid(const Element& element) = 0;
    virtual int32_t setMessagingTimeout(const Element& element, double seconds) = 0;
    virtual AXAttributeResult copyAttributeValue(const Element& element,
                                                 const std::string& attribute) = 0;
    // Several attributes in one round trip (AXUIElementCopyMultipleAttributeValues, not
    // stopping at the first error).
    virtual AXAttributesResult
    copyMultipleAttributeValues(const Element& element,
                                const std::vector<std::string>& attributes) = 0;
    virtual AXNamesResult copyAttributeNames(const Element& element) = 0;
    virtual int32_t performAction(const Element& element, const std::string& action) = 0;
    virtual int32_t setStringAttribute(const Element& element, const std::string& attribute,
                                       const std::string& value) = 0;
    virtual bool sameElement(const Element& a, const Element& b) = 0;
    // The private window-number function, looked up once by name; it may be missing.
    virtual bool hasWindowNumberFunction() = 0;
    virtual AXWindowNumberResult elementWindowNumber(const Element& element) = 0;
};

} // namespace dorvex::platform
