// Replacements of the global operator new and delete for a whole test binary (link
// allocation_hooks.cpp into it): they count the allocations a thread makes while it asks
// for counting, and can make one of them fail. Other threads and the rest of the
// binary's life are never counted.
#ifndef QUELLIX_TESTS_SUPPORT_ALLOCATION_HOOKS_H
#define QUELLIX_TESTS_SUPPORT_ALLOCATION_HOOKS_H

// Counts the allocations made on this thread while it lives. Those made by the binary's
// own code (the module's included) or by the C++ library are also counted apart, with
// their releases; the GL driver's are not.
class AllocationCounter {
  public:
    // With failAt = n > 0, the n-th allocation of the binary's own fails: std::bad_alloc,
    // or null for the nothrow forms.
    explicit AllocationCounter(long failAt = 0);
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    long Stop();                  // ends counting and answers every allocation counted
    long OwnAllocations() const;  // the failed one included
    long OwnReleases() const;     // operator delete calls with a non-null pointer
    bool Failed() const;          // whether the chosen allocation was reached
};

#endif  // QUELLIX_TESTS_SUPPORT_ALLOCATION_HOOKS_H
