#pragma once

// UI event subscriptions kept in the driver state.
#include "Dorvex/Driver.h"

namespace dorvex {

// Takes a snapshot of the frontmost application and queues the subscription's events.
void generateSubscriptionEvents(Driver& driver, UIEventSubscription& subscription);

// Removes subscriptions idle for more than subscriptionTTLms.
void cleanupSubscriptions(Driver& driver);

} // namespace dorvex
