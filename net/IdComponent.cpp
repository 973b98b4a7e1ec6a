#include "net/IdComponent.h"

TIdStack* TIdComponent::SharedStack = nullptr;
int32_t TIdComponent::StackUserCount = 0;

TIdComponent::TIdComponent() {
    if (SharedStack == nullptr) {
        SharedStack = TIdStack::CreatePlatformStack();
    }
    ++StackUserCount;
}

TIdComponent::~TIdComponent() {
    if (--StackUserCount == 0) {
        delete SharedStack;
        SharedStack = nullptr;
    }
}

void TIdComponent::BeginProgress(TWorkMode mode, int32_t size) {
    Progress& p = progress_[static_cast<int>(mode)];
    if (++p.nesting == 1) {
        p.size = size;
        p.total = 0;
        if (OnProgressBegin) {
            OnProgressBegin(*this, mode, size);
        }
    }
}

void TIdComponent::AdvanceProgress(TWorkMode mode, int32_t amount) {
    Progress& p = progress_[static_cast<int>(mode)];
    if (p.nesting > 0) {
        p.total += amount;
        if (OnProgress) {
            OnProgress(*this, mode, p.total);
        }
    }
}

void TIdComponent::EndProgress(TWorkMode mode) {
    Progress& p = progress_[static_cast<int>(mode)];
    if (p.nesting == 1 && OnProgressEnd) {
        OnProgressEnd(*this, mode);
    }
    --p.nesting;
}
