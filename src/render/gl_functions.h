#pragma once

// The GL entry points come straight from GLVND's libOpenGL, which hands every call to whatever
// context is current on the thread: the window's GLX context and a headless EGL context alike. Only
// the renderer's sources include this; its headers carry no GL types.
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
