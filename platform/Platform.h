#pragma once

// The platform boundary. Everything the driver asks of the operating system's desktop passes
// through these facets, one operation per call, answering plain values (platform/types). No
// rule lives behind it: bindings translate, the driver and its core library decide.
//
// Bindings live beside this file, one folder each (sim/, macos/, linux/), each with its own
// factory; the executable picks one at start-up.
#include "platform/Accessibility.h"
#include "platform/Displays.h"
#include "platform/Input.h"
#include "platform/Permissions.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <memory>

namespace dorvex::platform {

// The facets of one binding, as the driver receives them. A test may assemble one from fakes
// of the facets it cares about.
struct Platform {
    Accessibility& accessibility;
    WindowServer& windowServer;
    Displays& displays;
    Input& input;
    Permissions& permissions;
    Workspace& workspace;
};

// A binding that implements every facet in one object; it outlives the Platform it hands out.
class Binding : public Accessibility,
                public WindowServer,
                public Displays,
                public Input,
                public Permissions,
                public Workspace {
public:
    Platform facets() { return {*this, *this, *this, *this, *this, *this}; }
};

using BindingFactory = std::unique_ptr<Binding> (*)();

} // namespace dorvex::platform
