// Built against the real OpenAL library; the self-test runs it with the
// stand-in selected through LD_LIBRARY_PATH. It opens the first enumerated
// device and then kills itself, leaving only what the log already holds.
#include <AL/alc.h>

#include <signal.h>
#include <unistd.h>

int main()
{
    const ALCchar* list = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    alcOpenDevice(list);
    kill(getpid(), SIGKILL);
    return 1;
}
