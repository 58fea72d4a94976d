// Placeholder until the player lands: loads nothing and plays nothing.
#include "animation_player.h"

AnimationPlayer::AnimationPlayer(HWND, int, bool) {}
AnimationPlayer::~AnimationPlayer() { Stop(); }
int AnimationPlayer::Load(const WCHAR*, int*, int*) { return 0; }
void AnimationPlayer::SetPosition(int, int) {}
void AnimationPlayer::SetSize(int, int) {}
void AnimationPlayer::Play() {}
void AnimationPlayer::Pause(int) {}
void AnimationPlayer::Stop() {}
int AnimationPlayer::RunState() const { return 0; }
