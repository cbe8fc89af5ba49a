/* The documented slot numbers of the engine's and the design tool's interfaces: the vtable
 * indexes by which a real engine and a real design tool, built by the platform's own compiler,
 * call the plug-ins, and by which the plug-ins call them. Written down from the engine's and the
 * design tool's contracts, never from our headers: the layout check (VtableLayoutTests) holds the
 * compilers' own layout dumps of our headers against it, and the host written in C (chost/) calls
 * by it. Plain C, so that both can read it.
 *
 * X(interface, name, slot): the interface as our headers name it (namespace ZV, and ZV::Orvel for
 * the design tool), the name our headers give the slot, the slot number. A slot the contract does
 * not name carries our header's name. Derived interfaces repeat the inherited slots they are
 * called by, so that each is checked where it is used. Slot 0 of every engine interface takes the
 * place of the platform compiler's one-entry destructor. */
#pragma once

#define ZV_ENGINE_SLOTS(X)                                           \
    /* The allocator. */                                             \
    X(IPluginMemAlloc, DestructorSlot, 0)                            \
    X(IPluginMemAlloc, Malloc, 1)                                    \
    X(IPluginMemAlloc, Free, 2)                                      \
    /* The global context. */                                        \
    X(IGlobalPluginContext, DestructorSlot, 0)                       \
    X(IGlobalPluginContext, GetFramesPerBuffer, 2)                   \
    X(IGlobalPluginContext, MixWithVolumes, 13)                      \
    X(IGlobalPluginContext, AddChannelRamped, 15)                    \
    /* Any context, and the three kinds. */                          \
    X(IPluginContextBase, DestructorSlot, 0)                         \
    X(IPluginContextBase, GlobalContext, 1)                          \
    X(IPluginContextBase, PostMonitorData, 5)                        \
    X(IPluginContextBase, CanPostMonitorData, 6)                     \
    X(IPluginContextBase, PostMonitorMessage, 7)                     \
    X(ISinkPluginContext, DestructorSlot, 0)                         \
    X(ISinkPluginContext, GlobalContext, 1)                          \
    X(ISinkPluginContext, GetBufferCount, 13)                        \
    X(IEffectPluginContext, DestructorSlot, 0)                       \
    X(IEffectPluginContext, GlobalContext, 1)                        \
    X(IEffectPluginContext, PostMonitorMessage, 7)                   \
    X(IMixerPluginContext, DestructorSlot, 0)                        \
    X(IMixerPluginContext, GlobalContext, 1)                         \
    X(IMixerPluginContext, PostMonitorData, 5)                       \
    X(IMixerPluginContext, CanPostMonitorData, 6)                    \
    X(IMixerPluginContext, PostMonitorMessage, 7)                    \
    /* A mixer input (slot 4 is called, its result unused). */       \
    X(IMixerInputContext, DestructorSlot, 0)                         \
    X(IMixerInputContext, GetAttachmentParameters, 1)                \
    X(IMixerInputContext, GetConnectionType, 4)                      \
    X(IMixerInputContext, GetInputData, 5)                           \
    X(IMixerInputContext, SetInputData, 6)                           \
    X(IMixerInputContext, GetRayCount, 12)                           \
    X(IMixerInputContext, Get3DPosition, 13)                         \
    X(IMixerInputContext, ComputeSpeakerVolumes, 17)                 \
    /* The host object a mixer's EndFrame calls. */                  \
    X(IFrameEndHooks, DestructorSlot, 0)                             \
    X(IFrameEndHooks, OnFlushBegin, 1)                               \
    X(IFrameEndHooks, OnFlush, 2)                                    \
    X(IFrameEndHooks, OnFlushEnd, 3)                                 \
    X(IFrameEndHooks, OnFrameDone, 4)                                \
    /* Parameter objects (sink, effect, mixer, mixer attachment). */ \
    X(IParamChange, DestructorSlot, 0)                               \
    X(IParamChange, SetParameter, 1)                                 \
    X(IPluginParam, DestructorSlot, 0)                               \
    X(IPluginParam, SetParameter, 1)                                 \
    X(IPluginParam, CloneParameters, 2)                              \
    X(IPluginParam, InitParameters, 3)                               \
    X(IPluginParam, TermParameters, 4)                               \
    X(IPluginParam, SetParameterBlock, 5)                            \
    /* Slots 0 to 5 of every plug-in. */                             \
    X(IPlugin, DestructorSlot, 0)                                    \
    X(IPlugin, TermPlugin, 1)                                        \
    X(IPlugin, ResetPlugin, 2)                                       \
    X(IPlugin, DescribePlugin, 3)                                    \
    X(IPlugin, SupportsOfflineRendering, 4)                          \
    X(IPlugin, RelocateMedia, 5)                                     \
    /* The sink. */                                                  \
    X(ISinkPlugin, DestructorSlot, 0)                                \
    X(ISinkPlugin, TermPlugin, 1)                                    \
    X(ISinkPlugin, ResetPlugin, 2)                                   \
    X(ISinkPlugin, DescribePlugin, 3)                                \
    X(ISinkPlugin, SupportsOfflineRendering, 4)                      \
    X(ISinkPlugin, RelocateMedia, 5)                                 \
    X(ISinkPlugin, InitPlugin, 6)                                    \
    X(ISinkPlugin, IsDataNeeded, 7)                                  \
    X(ISinkPlugin, ConsumeFrame, 8)                                  \
    X(ISinkPlugin, OnFrameEnd, 9)                                    \
    X(ISinkPlugin, IsStarved, 10)                                    \
    X(ISinkPlugin, ResetStarved, 11)                                 \
    /* The effect. */                                                \
    X(IEffectPlugin, InitPlugin, 6)                                  \
    X(IInPlaceEffectPlugin, DestructorSlot, 0)                       \
    X(IInPlaceEffectPlugin, TermPlugin, 1)                           \
    X(IInPlaceEffectPlugin, ResetPlugin, 2)                          \
    X(IInPlaceEffectPlugin, DescribePlugin, 3)                       \
    X(IInPlaceEffectPlugin, SupportsOfflineRendering, 4)             \
    X(IInPlaceEffectPlugin, RelocateMedia, 5)                        \
    X(IInPlaceEffectPlugin, InitPlugin, 6)                           \
    X(IInPlaceEffectPlugin, ProcessInPlace, 7)                       \
    X(IInPlaceEffectPlugin, TimeSkip, 8)                             \
    /* The mixer. */                                                 \
    X(IMixerPlugin, DestructorSlot, 0)                               \
    X(IMixerPlugin, TermPlugin, 1)                                   \
    X(IMixerPlugin, ResetPlugin, 2)                                  \
    X(IMixerPlugin, DescribePlugin, 3)                               \
    X(IMixerPlugin, SupportsOfflineRendering, 4)                     \
    X(IMixerPlugin, RelocateMedia, 5)                                \
    X(IMixerPlugin, InitPlugin, 6)                                   \
    X(IMixerPlugin, ConnectInput, 7)                                 \
    X(IMixerPlugin, DisconnectInput, 8)                              \
    X(IMixerPlugin, MixInput, 9)                                     \
    X(IMixerPlugin, FinishMix, 10)                                   \
    X(IMixerPlugin, PostEffects, 11)                                 \
    X(IMixerPlugin, EndFrame, 12)

#define ZV_DESIGN_TOOL_SLOTS(X)                           \
    /* The design-tool plug-in object: every slot. */     \
    X(IAudioPlugin, DestroyPlugin, 0)                     \
    X(IAudioPlugin, AttachPropertySet, 1)                 \
    X(IAudioPlugin, Reserved2, 2)                         \
    X(IAudioPlugin, Reserved3, 3)                         \
    X(IAudioPlugin, Reserved4, 4)                         \
    X(IAudioPlugin, Reserved5, 5)                         \
    X(IAudioPlugin, Reserved6, 6)                         \
    X(IAudioPlugin, Reserved7, 7)                         \
    X(IAudioPlugin, Reserved8, 8)                         \
    X(IAudioPlugin, Reserved9, 9)                         \
    X(IAudioPlugin, Reserved10, 10)                       \
    X(IAudioPlugin, Reserved11, 11)                       \
    X(IAudioPlugin, Reserved12, 12)                       \
    X(IAudioPlugin, Reserved13, 13)                       \
    X(IAudioPlugin, Reserved14, 14)                       \
    X(IAudioPlugin, WriteBankData, 15)                    \
    X(IAudioPlugin, Reserved16, 16)                       \
    X(IAudioPlugin, GetResourceModule, 17)                \
    X(IAudioPlugin, DescribeDialog, 18)                   \
    X(IAudioPlugin, HandleWindowMessage, 19)              \
    X(IAudioPlugin, Reserved20, 20)                       \
    X(IAudioPlugin, Reserved21, 21)                       \
    X(IAudioPlugin, HandleDialogRequest, 22)              \
    X(IAudioPlugin, ReceiveMonitorData, 23)               \
    X(IAudioPlugin, Reserved24, 24)                       \
    X(IAudioPlugin, Reserved25, 25)                       \
    X(IAudioPlugin, Reserved26, 26)                       \
    /* The design tool's property set and bank writer. */ \
    X(IPropertySet, ReadProperty, 0)                      \
    X(IPropertySet, WriteProperty, 1)                     \
    X(IPropertySet, CurrentPlatform, 3)                   \
    X(IBankWriter, PutBool, 4)                            \
    X(IBankWriter, PutInt32, 7)                           \
    X(IBankWriter, PutReal32, 9)
