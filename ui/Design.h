// Window designs: JSON documents compiled into the program as resources of
// type "DESIGN", instantiated onto a form when it is created.
#pragma once

#include "ui/Forms.h"

#include <string>
#include <string_view>

// Creates a component of a class a design may name; nullptr for an unknown
// class name.
TComponent* createComponent(std::wstring_view className, TComponent* owner);

// Builds FORM from the design resource DESIGN.resource: the form's own
// properties, its controls with their places, pictures and fonts, and the
// design's event handler names bound through DESIGN.handlers. Throws
// std::runtime_error naming the fault for a missing design, an unknown class,
// property, picture or handler, or a value of the wrong kind.
void loadDesign(TForm& form, const FormDesign& design);
// The same from a design text (for tests and tools).
void loadDesignText(TForm& form, std::string_view json, const FormDesign& design);
