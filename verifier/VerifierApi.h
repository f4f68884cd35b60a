// The verification library's plain C boundary, shared by Qelvoverify.dll and
// the program that loads it. The export is __stdcall under its undecorated
// name (Qelvoverify.def) on both i686 and x86_64.
#pragma once

#define VERIFIER_API __stdcall

extern "C" {
// Writes the machine identifier into buffer as terminated text of at most
// capacity characters (terminator included). Non-zero on success; on
// failure the buffer's content is undefined.
typedef int(VERIFIER_API* VerifierGetCidFn)(wchar_t* buffer, int capacity);
}
