// The helper's window inside the plug-in host's: a GtkPlug (XEmbed) whose
// X window is a child of the parent the plug-in gave, kept at the parent's
// size.
#pragma once

#include <gtk/gtk.h>

// A plug in `parent`, mapped and as large as the parent, holding `child`;
// null when the parent window does not exist. The plug is destroyed (and
// its "destroy" signal raised) when the parent goes away.
GtkWidget* embedding_new(unsigned long parent, GtkWidget* child);
