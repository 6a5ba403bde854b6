// Window and control references of the toolkit stand-in.
#pragma once

struct OpaqueWindowPtr;
typedef OpaqueWindowPtr* WindowRef;
struct OpaqueControlRef;
typedef OpaqueControlRef* ControlRef;
