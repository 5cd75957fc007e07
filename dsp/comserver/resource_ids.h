// Resource identifiers of Sonvex2.dll (shared by sonvex.rc and the C++ code).
#pragma once
#define IDR_APPID 101
#define IDR_AUDIORESAMPLER 102
#define IDR_FOURIERTRANSFORM 103
