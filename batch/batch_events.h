#pragma once
// What the batch job reports, as events: the front ends word them (the desktop window on its
// processing dialog, orva-cli on the terminal) and tests record them. Every call comes from
// the batch worker thread; the problem reports and the cancel question block the worker
// until the person has answered them.

#include "core/progress.h"
#include "loudness/loudness_meter.h"

#include <string>

namespace orva {

/// What begins with an entry.
enum class EntryStep {
    Process,                ///< per-file mode: conversion, scan, normalization, MP3 step
    ScanForCommonPeak,      ///< common mode, first pass: the scan only
    ProcessWithCommonPeak,  ///< common mode, second pass: normalization and MP3 step
};

/// How an entry's steps in a pass ended. Over a batch, the normalized count is the number of
/// Done and LaterStepFailed outcomes, and the failed count that of LeftOut and LaterStepFailed.
enum class EntryOutcome {
    Done,             ///< normalized, and every later step (delete, MP3 step) succeeded
    Scanned,          ///< common mode, first pass: measured; the second pass normalizes it
    LeftOut,          ///< a step up to the normalization failed: the entry has no output
    LaterStepFailed,  ///< normalized, but deleting the set-aside source or the MP3 step failed
};

/// The counts of a finished batch.
struct BatchCounts {
    int entryCount = 0;
    int normalizedCount = 0;  ///< entries whose normalization succeeded
    int failedCount = 0;      ///< entries that failed at some step
};

class BatchEvents {
public:
    virtual ~BatchEvents() = default;

    /// The stages of the current entry (conversion, scan, normalization, encoding).
    virtual StageEvents& Stages() = 0;
    /// Problems with the current entry's files.
    virtual ProblemReports& Problems() = 0;

    /// The job began; no entry has started yet.
    virtual void JobStarted() = 0;
    /// A pass over the entries begins (one per job).
    virtual void PassStarted() = 0;
    /// Entry `index` (0-based) of `count`, shown as `name`, begins `step`.
    virtual void EntryStarted(EntryStep step, int index, int count, const std::string& name) = 0;
    /// Entry `index` ended its steps of this pass with `outcome`: once per entry in a pass,
    /// except in the common mode's second pass for an entry left out by the first. (There
    /// an entry whose source cannot be set aside ends before its EntryStarted.)
    virtual void EntryFinished(int index, EntryOutcome outcome) = 0;
    /// The common peak of all entries is `peak`, first reached in the entry shown as `name`.
    virtual void CommonPeakFound(const SamplePeak& peak, const std::string& name) = 0;
    /// With a target level: the current entry's measured levels and the linear gain it gets
    /// (the album's in the common mode; 1 when its loudness cannot be measured).
    virtual void TargetGainFound(const LoudnessLevels& levels, double gain)
    {
        (void)levels;
        (void)gain;
    }
    /// Every entry has been handled.
    virtual void BatchFinished(const BatchCounts& counts) = 0;
    /// The job ends (after BatchFinished, or early on an error of its own): nothing more runs.
    virtual void JobEnded() = 0;

    /// Asks whether to cancel the unfinished normalization; blocks until answered. True: cancel.
    virtual bool ConfirmCancel() = 0;
    /// The cancel was confirmed: the job unwinds now.
    virtual void CloseCancelled() = 0;
};

}  // namespace orva
