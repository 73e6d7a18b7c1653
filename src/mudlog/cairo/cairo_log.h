// A mud log drawn with cairo into a PDF (one page per page of the plan) or an SVG (one
// picture: plan it as one strip). Text is set in DejaVu Sans, which
// every machine that installs the station has (fonts-dejavu-core), so a log looks the same
// wherever it is drawn.
//
// Kept apart from the model (mudlog/) so that only the program and the tools link cairo;
// this header names no cairo type.
#pragma once

#include <string>

#include "mudlog/log_painter.h"

namespace mudlog {

enum class OutputKind { pdf, svg };

// The whole document as the bytes of a PDF or SVG file. Throws std::runtime_error with
// cairo's reason when cairo cannot draw it, std::invalid_argument for an SVG of a plan
// with more than one page.
std::string draw_document(const LogDocument& doc, OutputKind kind);

// Lets go of the font caches cairo and fontconfig keep for the life of the process, so a
// program that is done drawing ends with all its memory given back (the sanitizers' leak
// check counts them otherwise). Call it only when no drawing is under way; a later drawing
// loads the fonts again.
void release_drawing_caches();

}  // namespace mudlog
