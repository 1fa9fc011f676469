#include "core/hospital/dicom_store.h"

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcistrmb.h"
#include "dcmtk/dcmdata/dctk.h"
#include "dcmtk/dcmnet/scu.h"
#include "dcmtk/oflog/oflog.h"

namespace {

SendOutcome failed(const QString& reason, const QString& answer = QString())
{
    SendOutcome o;
    o.reason = reason;
    o.answer = answer;
    return o;
}

QString statusText(Uint16 status)
{
    return QString("0x%1").arg(status, 4, 16, QChar('0')).toUpper().replace("0X", "0x");
}

} // namespace

QString OpenDicomAssociation(DcmSCU& scu, const NetworkPeer& peer, const QString& callingAe,
                             const char* sopClass, int timeoutMs)
{
    OFLog::configure(OFLogger::WARN_LOG_LEVEL);
    const Uint32 seconds = Uint32(std::max(1, (timeoutMs + 999) / 1000));
    scu.setAETitle(callingAe.toLatin1().constData());
    scu.setPeerHostName(peer.host.toLatin1().constData());
    scu.setPeerPort(peer.port);
    scu.setPeerAETitle(peer.aeTitle.toLatin1().constData());
    scu.setConnectionTimeout(Sint32(seconds));
    scu.setACSETimeout(seconds);
    scu.setDIMSETimeout(seconds);
    scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    scu.addPresentationContext(sopClass, syntaxes);
    OFCondition status = scu.initNetwork();
    if (status.good())
        status = scu.negotiateAssociation();
    if (status.bad())
        return QString("no association with %1: %2").arg(peer.Text(), status.text());
    if (scu.findPresentationContextID(sopClass, "") == 0)
        return QString("%1 does not accept %2").arg(peer.Text(), sopClass);
    return QString();
}

SendOutcome StoreDicomBytes(const NetworkPeer& pacs, const QString& callingAe,
                            const QByteArray& bytes, int timeoutMs)
{
    DcmInputBufferStream in;
    in.setBuffer(bytes.constData(), offile_off_t(bytes.size()));
    in.setEos();
    DcmFileFormat file;
    file.transferInit();
    OFCondition status = file.read(in);
    file.transferEnd();
    OFString sopClass;
    if (status.bad() || file.getDataset()->findAndGetOFString(DCM_SOPClassUID, sopClass).bad())
        return failed(QString("the payload is not a DICOM file: %1").arg(status.text()));
    DcmSCU scu;
    const QString refused = OpenDicomAssociation(scu, pacs, callingAe, sopClass.c_str(), timeoutMs);
    if (!refused.isEmpty())
        return failed(refused);
    Uint16 response = 0xFFFF;
    status = scu.sendSTORERequest(scu.findPresentationContextID(sopClass, ""), OFFilename(),
                                  file.getDataset(), response);
    scu.releaseAssociation();
    if (status.bad())
        return failed(
            QString("the store at %1 did not complete: %2").arg(pacs.Text(), status.text()));
    if (response != STATUS_Success)
        return failed(
            QString("%1 answered the store with status %2").arg(pacs.Text(), statusText(response)),
            statusText(response));
    SendOutcome o;
    o.sent = true;
    o.answer = statusText(response);
    return o;
}

SendOutcome EchoDicom(const NetworkPeer& node, const QString& callingAe, int timeoutMs)
{
    DcmSCU scu;
    const QString refused =
        OpenDicomAssociation(scu, node, callingAe, UID_VerificationSOPClass, timeoutMs);
    if (!refused.isEmpty())
        return failed(refused);
    const OFCondition status = scu.sendECHORequest(0);
    scu.releaseAssociation();
    if (status.bad())
        return failed(QString("%1 did not answer the echo: %2").arg(node.Text(), status.text()));
    SendOutcome o;
    o.sent = true;
    o.answer = statusText(STATUS_Success);
    return o;
}
