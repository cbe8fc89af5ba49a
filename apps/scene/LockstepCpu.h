// Keeps the threads that a stepped run hands the renderer's passes between on one processor.
//
// In stepped pacing every pass is a hand-over in lock step: the player's thread steps the
// renderer, which wakes the plug-ins' render workers one after another, and waits until each is
// back in its wait. On a machine of several processors the scheduler likes to wake a thread on an
// idle processor; every such wake-up then crosses processors (an interrupt to another processor,
// which on a virtual machine may first have to be woken itself), and a step makes several. Kept on
// one processor, the same hand-overs are plain switches between threads, which cost less
// processor time, while the listener mix (started before the pin, so not inherited) runs on
// whichever processor is free.
//
// Pins the calling thread to the processor it is running on; threads it starts while pinned (the
// render workers, the renderer's completion thread) inherit the pin. Gives the calling thread its
// former processors back when it ends. Does nothing when the thread may run on one processor only
// or its processors cannot be read or set. Affects speed only: what the threads compute does not
// depend on where they run.
#pragma once

#include <sched.h>

namespace scene {

class LockstepCpu {
public:
    LockstepCpu();
    ~LockstepCpu();
    LockstepCpu(const LockstepCpu&) = delete;
    LockstepCpu& operator=(const LockstepCpu&) = delete;

    // The processor the thread is kept on, or -1 when it is not pinned.
    int Cpu() const { return m_iCpu; }

private:
    cpu_set_t m_former;
    int m_iCpu = -1;
};

}  // namespace scene
