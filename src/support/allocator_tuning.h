#pragma once

// Keeps glibc from handing large blocks back to the system after every frame. A software OpenGL
// draw of a megapixel mesh otherwise spends much of its time in page faults on memory that was
// just returned (about 1.8 s against 1.3 s for a 1280x1024 capture under llvmpipe).
void keepLargeAllocations();
