#include "cli/leading_pages.h"

#include "cli/address_reader.h"
#include "common/error_report.h"
#include "engine/link_rules.h"

namespace verdigo {

bool LeadingPages::Run(PageWriter& writer, RowSink& rows, EngineReporter& reporter,
                       AddressReader& addresses, const Hooks& hooks) {
  for (PageSources::Page& page : files_.pages()) {
    PrepareAddress(page);
    if (journal_ != nullptr && journal_->NextPageIsDone()) {
      hooks.skipPage();
      journal_->SkipPage(ResumableOutput::Kind::kFile, page.address);
      continue;
    }
    if (!ReadyToWrite()) return false;
    hooks.startPage(page.address);
    writer.BeginPage(page.address);
    Scan(page, rows, reporter);
    if (!writer.EndPage() || !hooks.pageDone(ResumableOutput::Kind::kFile, page.address)) {
      return false;
    }
  }
  return SkipListedPagesDone(addresses, hooks);
}

// Before the first page that is written: the pages skipped must be those
// the interrupted run did.
bool LeadingPages::ReadyToWrite() {
  if (journal_ == nullptr || confirmed_) return true;
  confirmed_ = true;
  return journal_->ConfirmSkipped(refusal_);
}

// The page's address and base, as its download would set them; also for a
// page skipped, since an address without "/" inherits the base before it.
void LeadingPages::PrepareAddress(const PageSources::Page& page) {
  if (page.entered) {
    engine_.PreparePageUrl(page.address);
  } else {
    engine_.SetPageUrl(page.address, BaseOfFileAddress(page.address));
  }
}

void LeadingPages::Scan(PageSources::Page& page, RowSink& rows, EngineReporter& reporter) {
  try {
    engine_.SetPage(PageSources::Read(page));
  } catch (const Failure& failure) {
    const std::string pageUrl = page.entered ? PreparePage(page.address).pageUrl : page.address;
    reporter.UrlNotFound(pageUrl, "cannot read " + page.shownName + ": " + failure.what());
    allFound_ = false;
    return;
  }
  engine_.ScanForLinks(rows);
}

bool LeadingPages::SkipListedPagesDone(AddressReader& addresses, const Hooks& hooks) {
  std::string address;
  while (journal_ != nullptr && journal_->NextPageIsDone()) {
    const AddressReader::Status status = addresses.Next(address, true);
    if (status == AddressReader::Status::kEnd) break;  // a shorter list: refused below
    if (status == AddressReader::Status::kNotYet) {
      hooks.wait();
      continue;
    }
    hooks.skipPage();
    engine_.PreparePageUrl(address);
    journal_->SkipPage(ResumableOutput::Kind::kListed, address);
  }
  return ReadyToWrite();
}

}  // namespace verdigo
